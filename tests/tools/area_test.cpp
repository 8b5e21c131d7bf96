// program and readback against a terminal folder's simulated flash: dry runs,
// refused sectors, verification and what readback says of a broken area.

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "platform/sim/block_device.h"
#include "platform/sim/flash_driver.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/play_run.h"
#include "tests/support/temp_terminal.h"
#include "tests/support/texts.h"
#include "tests/tools/tool_run.h"
#include "tools/bramble_logo/files.h"

namespace {

namespace fs = std::filesystem;
using namespace logo_tool_test;
using Bytes = std::vector<std::byte>;

struct Area : testing::Test {
  bramble::test::TempTerminal terminal;
  std::string root = "--root=" + terminal.root().string();
  fs::path area = terminal / "flash/area1.bin";

  Area() { terminal.MakeFlashDriver(); }
  std::string File(std::string_view name, std::size_t size) {
    terminal.Write(name, bramble::test::PatternBytes(size));
    return (terminal / name).string();
  }
  std::string Out(std::string_view name) { return (terminal / name).string(); }
};

// Only a logo is programmed: anything else would boot as noise, or not at all. It
// is refused before the driver is opened, with what it is and how to make a logo.
TEST_F(Area, ProgramRefusesWhatIsNoLogoBeforeAnyRequest) {
  Magick("-size 80x60 xc:red " + Quoted(terminal / "photo.jpg"));
  terminal.Write("tall.bmp", bramble::test::BuildBitmap({.height = 600}));
  const std::string made = "; make one with `bramble-logo prepare PICTURE logo.bmp`";
  const std::pair<std::string, std::string> refused[] = {
      {File("random.bin", 5000), "random.bin is not a logo: 5,000 bytes, and a logo.bin has 1,536,000" + made},
      {File("long.bin", 1'536'001), "long.bin is not a logo: 1,536,001 bytes, and a logo.bin has 1,536,000" + made},
      {Out("photo.jpg"), "photo.jpg is not a logo: a JPEG picture; `bramble-logo prepare " + Out("photo.jpg") + " logo.bmp`"},
      {Out("tall.bmp"), "tall.bmp is not a logo: a bitmap that the dialog refuses (800 × 600: the logo must be 800 × 480); "
                        "`bramble-logo check " + Out("tall.bmp") + "` says how"}};
  for (const auto& [file, said] : refused) {
    for (const Outcome& outcome : {Tool({"program", root, file}), Tool({"program", root, file, "--dry-run"})}) {
      ExpectFailure(outcome, 5, said);
      EXPECT_EQ(outcome.out, "") << file;
    }
  }
  EXPECT_EQ(std::tuple(fs::exists(area), fs::exists(terminal / "flash/dsk1.lock"), fs::exists(terminal / "ResidentFlash")),
            std::tuple(false, false, false));
}

// What keeps programming from starting is named before the first request, and
// area 1 stays as it was.
TEST_F(Area, ProgramNamesAMissingBusyReadOnlyOrFullFlashOrAnUnwritableMarkBeforeItStarts) {
  const std::string file = File("logo.bin", 1'536'000);
  {
    // The lock the driver's open holds, taken as another program takes it.
    const logo_tool::UniqueFd held(::open((terminal / "flash/dsk1.lock").c_str(), O_RDWR | O_CREAT, 0644));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_start = 1 << 30;
    lock.l_len = 1;
    ASSERT_EQ(::fcntl(held.get(), F_OFD_SETLK, &lock), 0);
    ExpectFailure(Tool({"program", root, file}), 1, "flash is in use by another program; try again when it has finished");
  }
  // A lock file that cannot be opened, here a link that is not followed, keeps the driver closed just as well.
  const fs::path lockFile = terminal / "flash/dsk1.lock";
  fs::remove(lockFile);
  fs::create_symlink("gone/dsk1.lock", lockFile);
  ExpectFailure(Tool({"program", root, file}), 1, "the flash driver's lock " + lockFile.string() + " cannot be taken: it is a symbolic link");
  fs::remove(lockFile);
  // Without its mark a programming cut short would pass unnoticed at the dialog's next start.
  terminal.WriteText("ResidentFlash", "a file where the folder should be");
  ExpectFailure(Tool({"program", root, file}), 4,
                "ResidentFlash/System/logo.pending, the mark of a logo change that has not completed; nothing was sent");
  fs::remove(terminal / "ResidentFlash");
  EXPECT_FALSE(fs::exists(area));
  // A tmpfs over the flash folder in a private mount namespace, gone with it.
  std::string unshare = "unshare --mount";
  if (Shell(unshare + " true 2>/dev/null") != 0) unshare = "unshare --user --map-root-user --mount";
  const std::pair<const char*, const char*> mounts[] = {
      {"ro", "/flash: Read-only file system"},
      {"size=64k", "flash has room for 65,536 bytes, and area 1 needs 1,536,512 bytes"}};
  for (const auto& [options, said] : mounts) {
    const Outcome run = ShellOutcome(unshare + " sh -c 'mount -t tmpfs -o " + options + " flash \"$0/flash\" || exit 77; " +
                                     "exec \"$1\" program --root \"$0\" \"$2\"' " + Quoted(terminal.root()) + " " + kTool + " " + Quoted(file));
    if (run.code != 1 && Shell(unshare + " true 2>/dev/null") != 0) GTEST_SKIP() << "no private mount namespace here";
    if (run.code == 77) GTEST_SKIP() << "no tmpfs can be mounted here";
    ExpectFailure(run, 1, said);
  }
  fs::remove_all(terminal / "flash");
  ExpectFailure(Tool({"program", root, file}), 1, "flash does not exist");
  EXPECT_EQ(Tool({"readback", root, Out("back.png")}).code, 1);
  const std::string missing = (terminal / "elsewhere").string();
  ExpectFailure(Tool({"program", "--root", missing, file}), 1,
                "the terminal folder " + missing + " does not exist: name the one to use with --root DIR or the "
                "environment variable BRAMBLE_ROOT");
}

// An area file that is not one the driver wrote is refused at once: a FIFO would
// hold readback, a device or a file larger than any area would feed it for long.
TEST_F(Area, ReadbackRefusesAnAreaFileThatNoDriverWrote) {
  const std::pair<std::function<void()>, std::string> areas[] = {
      {[&] { ASSERT_EQ(::mkfifo(area.c_str(), 0600), 0); }, "a FIFO, not a regular file"},
      {[&] { fs::create_symlink("/dev/zero", area); }, "a character device, not a regular file"},
      {[&] { std::ofstream(area).close(); fs::resize_file(area, (std::uint64_t{2} << 30) + 1); },
       "2,147,483,649 bytes, more than an area holds (2,147,483,648)"}};
  for (const auto& [make, said] : areas) {
    make();
    ExpectFailure(Tool({"readback", root, Out("back.bin")}), 4, area.string() + ": " + said);
    fs::remove(area);
  }
  EXPECT_FALSE(fs::exists(Out("back.bin")));
}

// A dry run lists the requests and sends nothing; --json: one object for scripts,
// whatever happened (a failure's: below); -q: nothing but errors.
TEST_F(Area, DryRunSendsNothingProgramAndReadbackSummariseInJsonAndQuietSaysNothing) {
  const std::string file = File("logo.bin", 1'536'000), flash = (terminal / "flash").string();
  const Outcome listed = Tool({"program", root, file, "--dry-run"});
  EXPECT_TRUE(listed.code == 0 && Contains(listed.out, "  data sectors 0..2999 (3,000 sectors)\n  end marker: sector 3000\n  finish request\n"))
      << listed.out;
  terminal.Write("logo.bmp", bramble::test::BuildBitmap({}));
  const Outcome dry = Tool({"program", root, Out("logo.bmp"), "--dry-run", "--json"});
  EXPECT_TRUE(Contains(dry.out, "\"bytes\":1152054,\"converted\":true,\"dry_run\":true,\"data_sectors\":3000,"
                                "\"end_marker_sector\":3000,\"finish\":true}\n")) << dry.out;
  EXPECT_FALSE(fs::exists(area) || fs::exists(terminal / "ResidentFlash/System/logo.pending"));
  const Outcome programmed = Tool({"program", root, file, "--json"});
  EXPECT_EQ(std::tuple(programmed.code, programmed.out),
            std::tuple(0, "{\"file\":\"" + file + "\",\"flash\":\"" + flash + "\",\"bytes\":1536000,\"converted\":false,\"dry_run\":false,"
                          "\"data_sectors\":3000,\"end_marker_sector\":3000,\"programmed\":true,\"verified\":true}\n"));
  const Outcome back = Tool({"readback", root, Out("back.png"), "--json"});
  EXPECT_EQ(back.out, "{\"output\":\"" + Out("back.png") + "\",\"flash\":\"" + flash + "\",\"format\":\"png\","
                      "\"data_sectors\":3000,\"bytes\":1536000,\"logo\":true}\n");
  EXPECT_EQ(Tool({"program", root, file, "--json", "--bogus"}).out, "");  // usage: no summary
  for (const Outcome& quiet : {Tool({"program", "-q", root, file}), Tool({"-q", "convert", Out("logo.bmp"), Out("again.bin")})}) {
    EXPECT_EQ(std::tuple(quiet.code, quiet.out, quiet.err), std::tuple(0, "", ""));
  }
}

// A driver that stores one sector otherwise than it was sent, and counts the
// requests that came while no change was marked.
class CorruptingDriver final : public platform::BlockDevice {
 public:
  CorruptingDriver(const fs::path& flash, std::uint32_t sector)
      : m_driver(flash), m_sector(sector), m_mark(flash.parent_path() / "ResidentFlash/System/logo.pending") {}
  HANDLE Open(platform::WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
    return m_driver.Open(name, access, share, disposition, flags);
  }
  bool Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override {
    m_unmarked += !fs::exists(m_mark);
    const auto request = platform::DecodeAreaSectorReq({static_cast<const std::byte*>(in), in ? inSize : 0});
    const auto buffer = request && request->SectorAddr == m_sector ? platform::ResolveBufferToken(request->Buffer) : std::span<std::byte>();
    if (!buffer.empty()) buffer[100] ^= std::byte{0x01};
    const bool accepted = m_driver.Control(handle, code, in, inSize, out, outSize, returned);
    if (!buffer.empty()) buffer[100] ^= std::byte{0x01};
    return accepted;
  }
  void Close(HANDLE handle) override { m_driver.Close(handle); }
  int unmarked() const { return m_unmarked; }

 private:
  platform::HostFlashDriver m_driver;
  std::uint32_t m_sector;
  fs::path m_mark;
  int m_unmarked = 0;
};

// The change is marked before the first request and the mark goes once the finish
// succeeded, whatever verification finds: the writer's part is done.
TEST_F(Area, ProgramMarksItsChangeAndNamesTheFirstSectorThatDiffers) {
  const std::pair<std::uint32_t, std::string> cases[] = {
      {5000, "verified: area 1 holds what was sent, end marker included"},
      {1, "verify: sector 1 of area 1 differs from what was sent, from byte 100"},
      {3000, "verify: the end marker in sector 3000 of area 1 differs from what was sent, from byte 100"}};
  const std::string file = File("logo.bin", 1'536'000);
  for (const auto& [sector, said] : cases) {
    CorruptingDriver driver(terminal / "flash", sector);
    terminal.UseFlashDevice(driver);
    const Outcome outcome = Tool({"program", root, file});
    EXPECT_TRUE(outcome.code == (sector == 5000 ? 0 : 3) && Contains(outcome.out + outcome.err, said)) << outcome.out << outcome.err;
    EXPECT_EQ(std::tuple(driver.unmarked(), fs::exists(terminal / "ResidentFlash/System/logo.pending")), std::tuple(0, false));
  }
}

TEST_F(Area, ARefusedSectorOrFinishFailsAndReadbackAndShowFindNoLogoWhereThereIsNone) {
  terminal.WriteText("flash/faults", "1 1500\n");
  const Outcome refused = Tool({"program", root, File("logo.bin", 1'536'000), "--json"});
  ExpectFailure(refused, 1, "area 1 refused a sector");
  EXPECT_TRUE(Contains(refused.out, "\"programmed\":false,\"verified\":null,\"error\":\"area 1 refused a sector")) << refused.out;
  ExpectFailure(Tool({"readback", root, Out("back.png")}), 1, "no end marker in its 1,500 sectors");
  fs::remove(terminal / "flash/faults");
  // The mark stays, and the dialog's next start says what happened.
  const fs::path mark = terminal / "ResidentFlash/System/logo.pending";
  ASSERT_TRUE(fs::exists(mark));
  const bramble::test::PlayResult start = bramble::test::Play(terminal, "");
  EXPECT_EQ(bramble::test::MessageAt(start.transcript, 0), bramble::test::Escaped(bramble::test::text::kLogoChangeNotCompleted)) << start.err;
  fs::remove(mark);

  // Every sector accepted, and the area file's flush failed: not durable, so not programmed.
  ExpectFailure(ShellOutcome(Strace("-o /dev/null -P " + Quoted(area) + " -e trace=fsync -e inject=fsync:error=EIO:when=1") + kTool +
                             " program " + Quoted(root) + " " + Quoted(Out("logo.bin"))),
                1, "Area(1) Finish Error\nbramble-logo: area 1 could not be made durable (the finish request failed)");
  EXPECT_TRUE(fs::exists(mark));

  // An area that another writer left with one sector before its marker.
  Bytes shortArea = bramble::test::PatternBytes(512);
  const Bytes marker = bramble::test::EndMarker();
  shortArea.insert(shortArea.end(), marker.begin(), marker.end());
  terminal.Write("flash/area1.bin", shortArea);
  const std::string file = File("short.bin", 500);
  ExpectFailure(Tool({"readback", root, Out("back.png")}), 1, "area 1 holds 1 data sector (512 bytes)");
  const Outcome data = Tool({"readback", root, Out("back.bin")});
  EXPECT_TRUE(data.code == 0 && Contains(data.out, "note:")) << data.out;
  EXPECT_TRUE(bramble::test::ReadFileBytes(Out("back.bin")) == bramble::test::PatternBytes(512));

  fs::remove(area);
  EXPECT_TRUE(Contains(Tool({"readback", root, Out("back.bin")}).err, "never programmed"));
  ExpectFailure(Tool({"show", file, Out("shown.png")}), 1, "has 500 bytes; a logo.bin has 1,536,000");
  EXPECT_FALSE(fs::exists(Out("back.png")) || fs::exists(Out("shown.png")));
  EXPECT_EQ(TemporaryFiles(terminal.root()), 0);
}

TEST(LogoToolHelp, EveryCommandHasHelpAndWrongUsageExitsTwoWithOneLine) {
  for (const std::string command : {"check", "prepare", "convert", "program", "readback", "show", "startup", "make-terminal"}) {
    const Outcome asked = Tool({command, "--help"});
    EXPECT_TRUE(asked.code == 0 && asked.out.starts_with("Usage: bramble-logo " + command)) << asked.out;
    EXPECT_EQ(Tool({"help", command}).out, asked.out);
    // check takes any number of files (missing ones here), the others one or two.
    const int many = command == "check" ? 4 : 2;
    EXPECT_EQ(std::tuple(Tool({command}).code, Tool({command, "a", "b", "c"}).code), std::tuple(2, many));
    const Outcome bogus = Tool({command, "--bogus", "a"});
    EXPECT_EQ(std::tuple(bogus.code, bogus.out, bogus.err),
              std::tuple(2, "", "bramble-logo: unknown option '--bogus'; see 'bramble-logo " + command + " --help'\n"));
  }
  EXPECT_EQ(std::tuple(Tool({}).code, Tool({"flash"}).code, Tool({"program", "--root"}).code), std::tuple(2, 2, 2));
  const Outcome bogus = Tool({"--bogus"});
  EXPECT_EQ(std::tuple(bogus.code, bogus.err), std::tuple(2, "bramble-logo: unknown option '--bogus'; see 'bramble-logo --help'\n"));
  const Outcome version = Tool({"--version"});
  EXPECT_EQ(std::tuple(version.code, version.out), std::tuple(0, "bramble-logo 1.0.0.1\n"));
}

}  // namespace

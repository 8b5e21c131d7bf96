// program and readback against a terminal folder's simulated flash: dry runs,
// refused sectors, verification and what readback says of a broken area.

#include <algorithm>
#include <fstream>

#include "platform/sim/block_device.h"
#include "platform/sim/flash_driver.h"
#include "tests/support/temp_terminal.h"
#include "tests/tools/tool_run.h"

namespace {

namespace fs = std::filesystem;
using logo_tool_test::Outcome;
using logo_tool_test::Tool;
using Bytes = std::vector<std::byte>;

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

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
  void Patch(std::size_t offset) {
    std::fstream stream(area, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.put('\0');
  }
};

TEST_F(Area, DryRunListsTheRequestsAndSendsNothing) {
  const std::pair<std::size_t, std::string> cases[] = {
      {1'536'000, "  data sectors 0..2999 (3,000 sectors)\n  end marker: sector 3000\n  finish request\n"},
      {513, "  data sectors 0..1 (2 sectors)\n  end marker: sector 2\n"},
      {0, "  no data sectors\n  end marker: sector 0\n  finish request\n"}};
  for (const auto& [size, plan] : cases) {
    const Outcome outcome = Tool({"program", root, File("some.bin", size), "--dry-run"});
    EXPECT_EQ(outcome.code, 0);
    EXPECT_TRUE(Contains(outcome.out, plan)) << outcome.out;
  }
  EXPECT_FALSE(fs::exists(area));
}

TEST_F(Area, RefusedSectorOrMissingFlashFailsAndReadbackFindsNoLogo) {
  terminal.WriteText("flash/faults", "1 2999\n");
  const Outcome refused = Tool({"program", root, File("logo.bin", 1'536'000)});
  EXPECT_EQ(refused.code, 1);
  EXPECT_TRUE(Contains(refused.err, "Area(1) Write Error : SectorAddr:bb7")) << refused.err;
  const Outcome noMarker = Tool({"readback", root, Out("back.png")});
  EXPECT_EQ(noMarker.code, 1);
  EXPECT_TRUE(Contains(noMarker.err, "no end marker in its 2,999 sectors")) << noMarker.err;

  fs::remove_all(terminal / "flash");
  const Outcome noFlash = Tool({"program", root, Out("logo.bin")});
  EXPECT_EQ(noFlash.code, 1);
  EXPECT_TRUE(Contains(noFlash.err, "flash does not exist")) << noFlash.err;
  EXPECT_EQ(Tool({"readback", root, Out("back.png")}).code, 1);
  EXPECT_FALSE(fs::exists(Out("back.png")));
  EXPECT_EQ(logo_tool_test::TemporaryFiles(terminal.root()), 0);
}

// A short last sector holds what the writer's buffer held (tests/flash), and
// verification expects exactly that.
TEST_F(Area, VerifyNamesTheFirstSectorThatDiffers) {
  const std::string file = File("short.bin", 1000);
  ASSERT_EQ(Tool({"program", root, file, "--no-verify"}).code, 0);
  EXPECT_FALSE(logo_tool::VerifyArea(terminal.root(), file).mismatch);

  const auto mismatch = [&] {
    const auto found = logo_tool::VerifyArea(terminal.root(), file).mismatch;
    return found ? std::tuple(found->sector, found->byte, found->marker) : std::tuple(~0u, std::size_t{0}, false);
  };
  Patch(512 + 500);
  EXPECT_EQ(mismatch(), std::tuple(1u, 500u, false));
  ASSERT_EQ(Tool({"program", root, file}).code, 0);  // programmed again, whole
  Patch(2 * 512 + 4);
  EXPECT_EQ(mismatch(), std::tuple(2u, 4u, true));
  fs::remove(area);
  EXPECT_EQ(mismatch(), std::tuple(0u, 0u, false));
}

// A driver that stores one sector otherwise than it was sent.
class CorruptingDriver final : public platform::BlockDevice {
 public:
  explicit CorruptingDriver(fs::path flash) : m_driver(std::move(flash)) {}
  HANDLE Open(platform::WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
    return m_driver.Open(name, access, share, disposition, flags);
  }
  bool Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override {
    const auto request = platform::DecodeAreaSectorReq({static_cast<const std::byte*>(in), in ? inSize : 0});
    const auto buffer = request && request->SectorAddr == 7 ? platform::ResolveBufferToken(request->Buffer) : std::span<std::byte>();
    if (!buffer.empty()) buffer[100] ^= std::byte{0x01};
    const bool accepted = m_driver.Control(handle, code, in, inSize, out, outSize, returned);
    if (!buffer.empty()) buffer[100] ^= std::byte{0x01};
    return accepted;
  }
  void Close(HANDLE handle) override { m_driver.Close(handle); }

 private:
  platform::HostFlashDriver m_driver;
};

TEST_F(Area, ProgramFailsWhenTheAreaDoesNotHoldWhatWasSent) {
  CorruptingDriver driver(terminal / "flash");
  terminal.UseFlashDevice(driver);
  const Outcome outcome = Tool({"program", root, File("logo.bin", 1'536'000)});
  EXPECT_EQ(outcome.code, 3);
  EXPECT_TRUE(Contains(outcome.err, "verify: sector 7 of area 1 differs from what was sent, from byte 100")) << outcome.err;
}

TEST_F(Area, ReadbackAndShowOfDataThatIsNoLogo) {
  const std::string file = File("short.bin", 1000);
  ASSERT_EQ(Tool({"program", root, file}).code, 0);
  const Outcome picture = Tool({"readback", root, Out("back.png")});
  EXPECT_EQ(picture.code, 1);
  EXPECT_TRUE(Contains(picture.err, "2 data sectors (1,024 bytes)")) << picture.err;
  const Outcome data = Tool({"readback", root, Out("back.bin")});
  EXPECT_EQ(data.code, 0);
  EXPECT_TRUE(Contains(data.out, "note:")) << data.out;
  const Bytes back = bramble::test::ReadFileBytes(Out("back.bin"));
  EXPECT_TRUE(back.size() == 1024 && std::equal(back.begin(), back.begin() + 1000, bramble::test::PatternBytes(1000).begin()));

  EXPECT_EQ(Tool({"readback", root, Out("back.jpg")}).code, 64);
  fs::remove(area);
  EXPECT_TRUE(Contains(Tool({"readback", root, Out("back.bin")}).err, "never programmed"));
  const Outcome wrongShow = Tool({"show", file, Out("shown.png")});
  EXPECT_EQ(wrongShow.code, 1);
  EXPECT_TRUE(Contains(wrongShow.err, "has 1,000 bytes; a logo.bin has 1,536,000")) << wrongShow.err;
  EXPECT_FALSE(fs::exists(Out("back.png")) || fs::exists(Out("shown.png")));
  EXPECT_EQ(logo_tool_test::TemporaryFiles(terminal.root()), 0);
}

TEST(LogoToolHelp, EveryCommandHasHelpAndWrongUsageExits64) {
  for (const std::string command : {"check", "prepare", "convert", "program", "readback", "show", "startup"}) {
    const Outcome asked = Tool({command, "--help"});
    EXPECT_TRUE(asked.code == 0 && asked.out.starts_with("Usage: bramble-logo " + command)) << asked.out;
    EXPECT_EQ(Tool({"help", command}).out, asked.out);
    EXPECT_EQ(std::tuple(Tool({command, "a", "b", "c"}).code, Tool({command, "--bogus", "a"}).code), std::tuple(64, 64));
  }
  EXPECT_EQ(std::tuple(Tool({}).code, Tool({"flash"}).code, Tool({"program", "--root"}).code), std::tuple(64, 64, 64));
}

}  // namespace

// What the commands read and where they write: inputs must be regular files, and
// every output goes where the user points it, in the format its name asks for.

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <regex>

#include "platform/posix/posix_io.h"
#include "logo/precheck.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"
#include "tests/tools/tool_run.h"
#include "tools/bramble_logo/files.h"

namespace {

namespace fs = std::filesystem;
using namespace bramble::test;
using namespace logo_tool_test;

// Starts the installed program with `in` and `out` as its standard input and
// output (-1: the test's own).
pid_t Spawn(const std::vector<std::string>& args, int in, int out) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  if (in >= 0) ::dup2(in, STDIN_FILENO);
  if (out >= 0) ::dup2(out, STDOUT_FILENO);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(kProgram.c_str(), argv.data());
  ::_exit(127);
}

struct Writer {
  std::vector<std::string> args;  // all but the output
  std::string extension;
};

TEST(Outputs, EveryWritingCommandWritesWhereItIsPointedAndNeverReplacesWhatIsNoFile) {
  TempTerminal terminal;
  terminal.MakeFlashDriver();
  terminal.Write("logo.bmp", BuildBitmap({}));
  terminal.Write("logo.bin", PatternBytes(1'536'000));
  const std::string bmp = (terminal / "logo.bmp").string(), bin = (terminal / "logo.bin").string();
  const std::string root = "--root=" + terminal.root().string();
  ASSERT_EQ(Tool({"program", root, bin}).code, 0);
  const Writer writers[] = {{{"prepare", bmp}, ".bmp"}, {{"convert", bmp}, ".bin"}, {{"show", bin}, ".png"},
                            {{"startup", bmp}, ".raw"}, {{"readback", root}, ".png"}};
  const bool asRoot = ::geteuid() == 0;
  for (const Writer& writer : writers) {
    SCOPED_TRACE(writer.args[0]);
    const fs::path folder = terminal / writer.args[0];
    fs::create_directory(folder);
    const auto at = [&](const std::string& name) { return folder / (name + writer.extension); };
    const auto run = [&](const fs::path& output) {
      std::vector<std::string> args = writer.args;
      args.push_back(output.string());
      return Tool(args);
    };
    ASSERT_EQ(run(at("file")).code, 0);
    const auto expected = ReadFileBytes(at("file"));

    fs::create_symlink("target" + writer.extension, at("link"));
    EXPECT_EQ(run(at("link")).code, 0);
    EXPECT_TRUE(fs::is_symlink(at("link")) && ReadFileBytes(at("target")) == expected);

    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return ReadFileBytes(at("fifo")); });
    EXPECT_EQ(run(at("fifo")).code, 0);
    // Lets the reader go should the command never have opened the FIFO.
    logo_tool::UniqueFd(::open(at("fifo").c_str(), O_WRONLY | O_NONBLOCK)).reset();
    EXPECT_TRUE(reader.get() == expected && fs::is_fifo(at("fifo")));

    const Outcome piped = run("-");  // what it says goes to standard error
    EXPECT_EQ(std::tuple(piped.code, Bytes(piped.out) == expected, piped.err.empty()), std::tuple(0, true, false));

    fs::create_directory(at("folder"));
    ExpectFailure(run(at("folder")), 4, "Is a directory; name a file in it");

    // Private copies of /dev/null and /dev/full: written into, never replaced.
    if (asRoot) {
      ASSERT_EQ(::mknod(at("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
      ASSERT_EQ(::mknod(at("full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
      EXPECT_EQ(run(at("null")).code, 0);
      ExpectFailure(run(at("full")), 4, "No space left on device");
      EXPECT_TRUE(fs::is_character_file(at("null")) && fs::is_character_file(at("full")));
    }
    EXPECT_EQ(TemporaryFiles(folder), 0);
  }
  if (!asRoot) GTEST_SKIP() << "the device nodes were not tried: making them (mknod) needs root";
}

TEST(Outputs, TheNameChoosesTheFormatAndAnyOtherExtensionIsAUsageError) {
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"prepare", "in.jpg", "out.png"}, "out.png: prepare writes .bmp files"},
      {{"convert", "in.bmp", "out.png"}, "out.png: convert writes .bin files"},
      {{"startup", "in.bmp", "out.bin"}, "out.bin: startup writes .raw files"},
      {{"show", "in.bin", "out.jpg"}, "out.jpg: show writes .png or .bmp files"},
      {{"readback", "out.jpeg"}, "out.jpeg: readback writes .png, .bmp or .bin files"}};
  for (const auto& [args, said] : refused) ExpectFailure(Tool(args), 2, said);
}

// Opened the usual way, a FIFO would hold the command until a writer came, and a
// device would feed it without end.
TEST(Inputs, AnythingButARegularFileIsRefusedBeforeItIsRead) {
  TempTerminal terminal;
  terminal.MakeFlashDriver();
  const std::string fifo = (terminal / "fifo").string(), out = (terminal / "out").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::string> reads[] = {{"check", fifo}, {"prepare", fifo, out}, {"convert", fifo, out},
                                            {"program", "--root=" + terminal.root().string(), fifo}};
  for (const auto& args : reads) {
    const Outcome outcome = Tool(args);
    EXPECT_NE(outcome.code, 0) << args[0];
    EXPECT_TRUE(Contains(outcome.err, fifo + ": a FIFO, not a regular file")) << outcome.err;
  }
  EXPECT_TRUE(Contains(Tool({"show", "/dev/zero", out}).err, "/dev/zero: a character device, not a regular file"));
  EXPECT_FALSE(fs::exists(out));
}

// The standard streams by every name a shell gives them, run as a user runs the
// program: - and /dev/stdout into a pipe or a file, a descriptor the shell opened,
// standard input as -. The command's own lines then go to standard error.
TEST(StandardStreams, EveryNameOfADescriptorWritesIntoWhatItNamesAndDashReadsStandardInput) {
  TempTerminal terminal;
  terminal.Write("logo.bmp", BuildBitmap({}));
  const std::string bmp = Quoted(terminal / "logo.bmp"), out = Quoted(terminal / "out.bin");
  const auto run = [&](const std::string& command) {
    return Shell("cd " + Quoted(terminal.root()) + " && (" + command + ") 2>" + Quoted(terminal / "err.txt"));
  };
  ASSERT_EQ(run(kTool + " convert logo.bmp expected.bin >/dev/null"), 0);
  const auto expected = ReadFileBytes(terminal / "expected.bin");
  // Whether the converter's line goes to standard error, out of the data's way.
  const std::pair<std::string, bool> commands[] = {
      {kTool + " convert logo.bmp - | cat >" + out, true},
      {kTool + " convert logo.bmp /dev/stdout | cat >" + out, true},
      {kTool + " convert logo.bmp /dev/stdout >" + out, true},
      {kTool + " convert logo.bmp /proc/self/fd/3 3>" + out + " >/dev/null", false},
      {"cat " + bmp + " | " + kTool + " convert - " + out + " >/dev/null", false},
      {kTool + " convert - " + out + " <" + bmp + " >/dev/null", false},
  };
  for (const auto& [command, linesOnError] : commands) {
    fs::remove(terminal / "out.bin");
    EXPECT_EQ(run(command), 0) << command;
    EXPECT_TRUE(ReadFileBytes(terminal / "out.bin") == expected) << command;
    EXPECT_EQ(ReadLines(terminal / "err.txt").size(), linesOnError ? 1u : 0u) << command;
  }
  // Standard output a socket, as a service's often is: no name opens it.
  int sockets[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
  const pid_t child = Spawn({"bramble-logo", "convert", "-q", (terminal / "logo.bmp").string(), "/dev/stdout"}, -1, sockets[1]);
  ::close(sockets[1]);
  const logo_tool::UniqueFd received(sockets[0]);
  std::vector<std::byte> bytes(expected.size() + 1);
  int status = 0;
  EXPECT_EQ(platform::ReadFully(received.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(expected.size()));
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && std::equal(expected.begin(), expected.end(), bytes.begin()));

  // What cannot be written to standard output fails as any other output does; a
  // reader that leaves ends the program as a broken pipe ends cp, without a word.
  for (const char* command : {" check --json logo.bmp", " --help", " prepare logo.bmp -"}) {
    EXPECT_EQ(run(kTool + command + " >/dev/full"), 4) << command;
    EXPECT_EQ(ReadText(terminal / "err.txt"), "bramble-logo: write error: No space left on device\n") << command;
  }
  // 1.5 MB, more than a pipe holds: the reader is gone before the last write.
  EXPECT_EQ(run("(" + kTool + " convert logo.bmp -; echo $? >status.txt) | head -c1 >/dev/null"), 0);
  EXPECT_EQ(std::tuple(ReadText(terminal / "status.txt"), ReadText(terminal / "err.txt")), std::tuple("141\n", ""));
  EXPECT_EQ(run("cat " + bmp + " | " + kTool + " check - | grep -q '^standard input: usable'"), 0);
  EXPECT_EQ(run(": | " + kTool + " check - >/dev/null"), 1);  // nothing: too short for a bitmap
  EXPECT_EQ(run(kTool + " check - </dev/zero"), 4);        // a device is no file, not even as standard input
  EXPECT_EQ(TemporaryFiles(terminal.root()), 0);
}

// An interrupted command leaves the old file whole and nothing temporary beside
// it, even when killed. The command waits for standard input, which the test
// holds open, with its output begun: an unnamed file open in its folder. Where
// the file system makes no unnamed files, a named temporary goes with the signal.
TEST(Signals, AnInterruptedCommandLeavesTheOldFileAndNoTemporaryNamedOrNot) {
  TempTerminal terminal;
  terminal.WriteText("logo.bmp", "the old logo");
  for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
    int input[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    const pid_t child = Spawn({"bramble-logo", "prepare", "-", (terminal / "logo.bmp").string()}, input[0], -1);
    ::close(input[0]);
    const fs::path fds = "/proc/" + std::to_string(child) + "/fd";
    const auto outputBegun = [&] {
      std::error_code ec;
      for (const auto& fd : fs::directory_iterator(fds, ec)) {
        if (Contains(fs::read_symlink(fd, ec).string(), terminal.root().string())) return true;
      }
      return false;
    };
    // Polled, not timed: the command has nothing to do until its input comes.
    int status = 0;
    bool ended = false;
    while (!outputBegun() && !(ended = ::waitpid(child, &status, WNOHANG) == child)) ::usleep(1000);
    ASSERT_FALSE(ended) << "the command ended before it began its output: " << status;
    ::kill(child, signal);
    ::waitpid(child, &status, 0);
    ::close(input[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(ReadFileBytes(terminal / "logo.bmp"), Bytes("the old logo"));
    EXPECT_EQ(TemporaryFiles(terminal.root()), 0);
  }
  const fs::path named = terminal / ".tmp-bramble-logo-test";
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    terminal.WriteText(".tmp-bramble-logo-test", "partial");
    EXPECT_EXIT({ logo_tool::RemoveOnSignal(named.string()); ::raise(signal); }, testing::KilledBySignal(signal), "");
    EXPECT_FALSE(fs::exists(named)) << signal;
  }
}

// A replaced output is on storage before its name leads to it, and its folder's
// entries after: a crash leaves the old file or the whole new one, never an empty
// one. A flush that fails, of the file or of the folder, leaves the old file.
TEST(Outputs, AReplacedOutputIsFlushedBeforeAndAfterItIsPutInPlaceAndAFailedFlushKeepsTheOldOne) {
  TempTerminal terminal;
  terminal.Write("logo.bmp", BuildBitmap({}));
  terminal.WriteText("startup.raw", "the old image");
  const fs::path log = terminal / "strace.log";
  const std::string strace = Strace("-y -o " + Quoted(log));
  const std::string startup = kTool + " startup " + Quoted(terminal / "logo.bmp") + " " +
                              Quoted(terminal / "startup.raw") + " >/dev/null 2>&1";
  ASSERT_EQ(Shell(strace + "-e trace=fsync,linkat,renameat2,renameat,rename " + startup), 0);
  // F: the new file flushed, P: a name put to it, D: the folder flushed.
  std::string order;
  for (const std::string& line : ReadLines(log)) {
    const bool folder = Contains(line, "<" + terminal.root().string() + ">)");
    order += Contains(line, "fsync(") ? (folder ? "D" : "F") : "P";
  }
  EXPECT_TRUE(std::regex_match(order, std::regex("FP+D+"))) << order << "\n" << ReadText(log);
  EXPECT_NE(ReadText(terminal / "startup.raw"), "the old image");

  // The same for a new name, which then does not appear.
  for (const bool replacing : {true, false}) {
    for (const int failing : {1, 2}) {
      fs::remove(terminal / "startup.raw");
      if (replacing) terminal.WriteText("startup.raw", "the old image");
      EXPECT_EQ(Shell(strace + "-e trace=fsync -e inject=fsync:error=EIO:when=" + std::to_string(failing) + " " + startup), 4);
      EXPECT_EQ(fs::exists(terminal / "startup.raw") ? ReadText(terminal / "startup.raw") : "none",
                replacing ? "the old image" : "none") << "the flush that failed: " << failing;
      EXPECT_EQ(TemporaryFiles(terminal.root()), 0);
    }
  }
}

// A terminal folder that the terminal's own readers take, made only where it costs
// no one a file: new, empty, or made by the command before, whose other files and
// links to outside stay.
TEST(MakeTerminal, MakesWhatTheTerminalReadsAndNeverTakesAnotherFoldersFiles) {
  TempTerminal elsewhere, terminal;  // the terminal's code runs on the last made, empty
  const std::string root = terminal.root().string();
  ASSERT_EQ(Tool({"make-terminal", root, "--model", "Q\"X\\1", "--system-version=V2 \uD55C"}).code, 0);
  EXPECT_EQ(ReadText(terminal / "registry.reg"),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Platform\\OS]\r\n\"ModelName\"=\"Q\\\"X\\\\1\"\r\n");
  EXPECT_EQ(ReadText(terminal / "ResidentFlash/System/info.txt"), "V2 \xC7\xD1\r\n");  // code page 949
  EXPECT_TRUE(logo::LoadAndCheckBitmap(u"\\ResidentFlash\\System\\logo.bmp"));
  const auto grey = ReadFileBytes(terminal / "ResidentFlash/System/logo.bmp");  // dark grey, after a 54-byte header
  EXPECT_EQ(std::tuple(grey.size(), grey[54], grey.back()), std::tuple(1'152'054u, std::byte{0x20}, std::byte{0x20}));
  EXPECT_TRUE(fs::is_directory(terminal / "SDMMC DISK") && fs::is_empty(terminal / "flash"));

  // Made again: its own files replaced, a link among them replaced and not followed.
  terminal.WriteText("SDMMC DISK/logo.bmp", "the user's");
  terminal.WriteText("flash/area1.bin", "programmed");
  elsewhere.WriteText("outside.txt", "outside");
  fs::remove(terminal / "registry.reg");
  fs::create_symlink(elsewhere / "outside.txt", terminal / "registry.reg");
  ASSERT_EQ(Tool({"make-terminal", root}).code, 0);
  EXPECT_TRUE(Contains(ReadText(terminal / "registry.reg"), "\"ModelName\"=\"QX210\"\r\n"));
  EXPECT_EQ(std::tuple(ReadText(terminal / "ResidentFlash/System/info.txt"), ReadText(elsewhere / "outside.txt"),
                       ReadText(terminal / "SDMMC DISK/logo.bmp"), ReadText(terminal / "flash/area1.bin")),
            std::tuple("V1.02\r\n", "outside", "the user's", "programmed"));

  // Any other folder keeps its files; what the terminal could not read is wrong usage.
  elsewhere.WriteText("keep/notes.txt", "precious");
  const std::string keep = (elsewhere / "keep").string(), file = (elsewhere / "outside.txt").string();
  ExpectFailure(Tool({"make-terminal", keep}), 1, keep + " holds files and is no terminal folder made by make-terminal");
  EXPECT_EQ(std::tuple(Tool({"make-terminal", file}).code,
                       Tool({"make-terminal", root, "--model", "A\nB"}).code, Tool({"make-terminal", root, "--model", "\xFF"}).code,
                       Tool({"make-terminal", root, "--system-version", "\U0001F600"}).code),
            std::tuple(1, 2, 2, 2));
  EXPECT_EQ(std::tuple(ReadText(elsewhere / "keep/notes.txt"), fs::exists(elsewhere / "keep/registry.reg")),
            std::tuple("precious", false));
}

// The codec, and libvips with it, is loaded by the picture commands alone: the
// dynamic loader's own account of the installed program says which it loads.
TEST(Startup, OnlyThePictureCommandsLoadTheCodec) {
  TempTerminal terminal;
  terminal.Write("logo.bmp", BuildBitmap({}));
  const auto at = [&](const char* name) { return Quoted(terminal / name); };
  const std::pair<std::string, bool> runs[] = {{"check " + at("logo.bmp"), false},
                                               {"convert " + at("logo.bmp") + " " + at("logo.bin"), false},
                                               {"show " + at("logo.bin") + " " + at("shown.png"), true}};
  for (const auto& [command, loads] : runs) {
    const std::string traced = "LD_DEBUG=libs " + kTool + " " + command;
    EXPECT_EQ(Shell(traced + " 2>&1 | grep -q 'bramble-logo-codec.so'") == 0, loads) << command;
    EXPECT_EQ(Shell(traced + " >/dev/null 2>&1"), 0) << command;
  }
}

}  // namespace

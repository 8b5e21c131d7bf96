#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/posix/posix_host.h"

namespace bramble::fuzz {
namespace {

std::filesystem::path g_root;

}  // namespace

const std::filesystem::path& MakeTerminal(std::string_view target) {
  std::string pattern = (std::filesystem::temp_directory_path() / "bramble-fuzz-").string();
  pattern.append(target).append("-XXXXXX");
  if (!::mkdtemp(pattern.data())) Fail("cannot make the terminal folder");
  g_root = pattern;
  for (const char* folder : {"SDMMC DISK", "ResidentFlash/System", "flash"}) std::filesystem::create_directories(g_root / folder);
  static platform::PosixHost host;
  host.terminalRoot = g_root;
  // The code's debug lines would bury the fuzzer's own.
  host.debugOutput = [](std::string_view) {};
  platform::InstallHost(&host);
  std::atexit([] { std::error_code ignored; std::filesystem::remove_all(g_root, ignored); });
  return g_root;
}

void WriteHostFile(const std::filesystem::path& path, std::span<const std::byte> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  // A seed that never reached the file would test nothing.
  if (!out) Fail("cannot write the input file");
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace bramble::fuzz

#include "tests/support/temp_terminal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>

namespace bramble::test {
namespace fs = std::filesystem;
namespace {

fs::path NewFolder() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "bramble-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  if (info) name += std::string("-") + info->name();
  fs::path folder = fs::temp_directory_path() / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

}  // namespace

TempTerminal::TempTerminal() : m_root(NewFolder()), m_scope(m_root) {}

TempTerminal::~TempTerminal() {
  std::error_code ec;
  fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(m_root, ec);
}

void TempTerminal::MakeCard() const { fs::create_directories(m_root / "SDMMC DISK"); }
void TempTerminal::MakeResidentFlash() const { fs::create_directories(m_root / "ResidentFlash" / "System"); }
void TempTerminal::MakeFlashDriver() const { fs::create_directories(m_root / "flash"); }

void TempTerminal::Write(std::string_view relative, std::span<const std::byte> bytes) const {
  const fs::path path = m_root / relative;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TempTerminal::WriteText(std::string_view relative, std::string_view text) const {
  Write(relative, std::as_bytes(std::span(text.data(), text.size())));
}

std::vector<std::byte> ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> bytes(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<std::byte>(text[i]);
  return bytes;
}

std::vector<std::byte> PatternBytes(std::size_t size) {
  std::vector<std::byte> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>((i * 7 + i / 512) % 251);
  return bytes;
}

int OpenDescriptorCount() {
  const fs::directory_iterator fds("/proc/self/fd");
  return static_cast<int>(std::distance(begin(fds), end(fds)));
}

}  // namespace bramble::test

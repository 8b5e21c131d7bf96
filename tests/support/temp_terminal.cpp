#include "tests/support/temp_terminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid

#include "platform/win32/win32_host.h"
#else
#include <unistd.h>

#include "app/resources.h"
#include "tests/support/headless_host.h"
#endif

namespace bramble::test {
namespace fs = std::filesystem;
namespace {

fs::path NewFolder() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "bramble-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  // A parameterized test's name holds a slash: one folder, not a folder in a folder.
  if (info) name += std::string("-") + info->name();
  std::ranges::replace(name, '/', '-');
  fs::path folder = fs::temp_directory_path() / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

}  // namespace

TempTerminal::TempTerminal(platform::Host* host) : m_root(NewFolder()) {
#ifdef _WIN32
  if (!host) host = (m_ownHost = std::make_unique<platform::win32::Win32Host>()).get();
#else
  if (!host) host = (m_ownHost = std::make_unique<HeadlessHost>()).get();
  if (auto* windows = dynamic_cast<platform::window::WindowHost*>(host)) windows->resources = app::CompiledResources();
#endif
  host->terminalRoot = m_root;
  host->debugOutput = [this](std::string_view text) { m_debug += text; };
  m_host = host;
  m_previous = platform::InstallHost(host);
}

TempTerminal::~TempTerminal() {
  platform::InstallHost(m_previous);
  m_host->debugOutput = nullptr;
  m_host->flashDevice = nullptr;
  std::error_code ec;
  fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(m_root, ec);
}

fs::path TempTerminal::operator/(std::string_view relative) const {
  return m_root / std::u8string_view(reinterpret_cast<const char8_t*>(relative.data()), relative.size());
}

void TempTerminal::MakeCard() const { fs::create_directories(m_root / "SDMMC DISK"); }
void TempTerminal::MakeFlashDriver() const { fs::create_directories(m_root / "flash"); }

void TempTerminal::Write(std::string_view relative, std::span<const std::byte> bytes) const {
  const fs::path path = *this / relative;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TempTerminal::WriteText(std::string_view relative, std::string_view text) const { Write(relative, Bytes(text)); }

std::string TempTerminal::TakeDebugOutput() { return std::exchange(m_debug, {}); }

void TempTerminal::UseFlashDevice(platform::BlockDevice& device) { m_host->flashDevice = &device; }

#ifndef _WIN32
HeadlessHost& TempTerminal::host() const { return static_cast<HeadlessHost&>(*m_ownHost); }
#endif

void WriteRegistry(const TempTerminal& terminal, const std::optional<StoredValue>& value, std::string_view key) {
#ifdef _WIN32
  (void)terminal;
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Platform");
  if (!value) return;
  HKEY opened = nullptr;
  const std::wstring wideKey(key.begin(), key.end()), name(value->name.begin(), value->name.end());
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, wideKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr), 0);
  EXPECT_EQ(::RegSetValueExW(opened, name.c_str(), 0, value->type, reinterpret_cast<const BYTE*>(value->bytes.data()),
                             static_cast<DWORD>(value->bytes.size())), 0);
  ::RegCloseKey(opened);
#else
  std::filesystem::remove(terminal / "registry.reg");
  if (!value) return;
  std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + std::string(key) + "]\r\n\"" + value->name + "\"=hex(" +
                     std::to_string(value->type) + "):";
  constexpr char kHex[] = "0123456789abcdef";
  for (const auto b : value->bytes) text += {kHex[std::to_integer<int>(b) >> 4], kHex[std::to_integer<int>(b) & 15], ','};
  if (!value->bytes.empty()) text.pop_back();
  terminal.WriteText("registry.reg", text + "\r\n");
#endif
}

std::vector<std::byte> WideBytes(platform::WStringView text) {
  std::vector<std::byte> bytes;
  for (const auto unit : text) bytes.insert(bytes.end(), {std::byte(unit & 0xFF), std::byte(unit >> 8)});
  return bytes;
}

void WriteIdentity(const TempTerminal& terminal, std::string_view model, std::string_view version) {
  const platform::WString text(model.begin(), model.end());
  WriteRegistry(terminal, StoredValue{"ModelName", 1, WideBytes(platform::WStringView(text.c_str(), text.size() + 1))});
  terminal.WriteText("ResidentFlash/System/info.txt", std::string(version) + "\r\nbuild notes\r\n");
}

void WriteBitmap(const TempTerminal& terminal, const BitmapLayout& layout, std::string_view relative,
                 const PixelFunction& pixel) {
  terminal.Write(relative, BuildBitmap(layout, pixel));
}

void MakeReadyTerminal(const TempTerminal& terminal, std::string_view model) {
  WriteIdentity(terminal, model);
  WriteBitmap(terminal, BitmapLayout{});
  WriteBitmap(terminal, BitmapLayout{}, "ResidentFlash/System/logo.bmp",
              [](int x, int y) { return (x / 100 + y / 60) % 2 ? 0x2050A0u : 0xE0E0E0u; });
  terminal.MakeFlashDriver();
  terminal.WriteText("flash/trace.log", "");
}

std::vector<std::byte> ReadFileBytes(const fs::path& path) { return Bytes(ReadText(path)); }

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::byte> Bytes(std::string_view text) {
  const auto bytes = std::as_bytes(std::span(text.data(), text.size()));
  return {bytes.begin(), bytes.end()};
}

std::vector<std::byte> PatternBytes(std::size_t size) {
  std::vector<std::byte> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>((i * 7 + i / 512) % 251);
  return bytes;
}

std::vector<std::byte> EndMarker() {
  std::vector<std::byte> marker(512, std::byte{0xFF});
  for (std::size_t i = 0; i < 4; ++i) marker[i] = static_cast<std::byte>("LOGO"[i]);
  return marker;
}

int OpenDescriptorCount() {
#ifdef _WIN32
  DWORD handles = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
#else
  const fs::directory_iterator fds("/proc/self/fd");
  return static_cast<int>(std::distance(begin(fds), end(fds)));
#endif
}

}  // namespace bramble::test

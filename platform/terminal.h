#pragma once
// The simulated terminal: one host folder stands for the terminal's storage,
// registry and flash. Terminal paths are absolute with backslashes
// ("\SDMMC DISK\logo.bmp"); they map below the folder, matched case-insensitively
// as the terminal's file systems do.

#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

// The fixed storage paths of the terminal.
inline constexpr std::u16string_view kSdCardRoot = u"\\SDMMC DISK\\";
inline constexpr std::u16string_view kSdLogoBmp = u"\\SDMMC DISK\\logo.bmp";
inline constexpr std::u16string_view kSdLogoBin = u"\\SDMMC DISK\\logo.bin";
inline constexpr std::u16string_view kSdStartupRaw = u"\\SDMMC DISK\\startup.raw";
inline constexpr std::u16string_view kFlashLogoBmp = u"\\ResidentFlash\\System\\logo.bmp";
inline constexpr std::u16string_view kFlashLogoBin = u"\\ResidentFlash\\System\\logo.bin";
inline constexpr std::u16string_view kSystemInfoTxt = u"\\ResidentFlash\\System\\info.txt";
inline constexpr std::u16string_view kFlashDeviceName = u"DSK1:";

// --root DIR, else $BRAMBLE_ROOT, else ./terminal.
std::filesystem::path ChooseTerminalRoot(const std::optional<std::filesystem::path>& option);

void SetTerminalRoot(std::filesystem::path root);
const std::filesystem::path& TerminalRoot();

// The host path of an existing file or folder, or nothing when the terminal path
// does not lead to one (missing, relative, or climbing out with "..").
std::optional<std::filesystem::path> FindTerminalPath(std::u16string_view terminalPath);

// The host path at which to create or replace the file named by the terminal
// path: its folder must exist; an existing entry is matched case-insensitively,
// a new one takes the case given.
std::optional<std::filesystem::path> CreatableTerminalPath(std::u16string_view terminalPath);

// Sets the root for its lifetime; tests use it.
class ScopedTerminalRoot {
 public:
  explicit ScopedTerminalRoot(std::filesystem::path root);
  ~ScopedTerminalRoot();
  ScopedTerminalRoot(const ScopedTerminalRoot&) = delete;
  ScopedTerminalRoot& operator=(const ScopedTerminalRoot&) = delete;

 private:
  std::filesystem::path m_previous;
};

}  // namespace platform

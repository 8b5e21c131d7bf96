// make-terminal: a terminal folder for the simulator, made without costing
// anyone a folder: only a new or empty one, or one this command made before.

#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "platform/framework/cstring.h"
#include "tools/bramble_logo/logo_tool.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

// Its presence says the folder is ours to make again; its text says so to a person.
constexpr char kMarker[] = ".bramble-terminal";
constexpr char kMarkerText[] =
    "This folder is a simulated terminal made by `bramble-logo make-terminal`.\n"
    "Running that command on it again rewrites registry.reg, ResidentFlash/System/info.txt\n"
    "and ResidentFlash/System/logo.bmp, and leaves everything else as it is.\n";
constexpr auto kDefaultLogoGrey = std::byte{0x20};  // every channel: a dark grey field

// The model as a string value of the registry file: only \ and " are escaped there.
std::string RegistryText(const std::string& model) {
  std::string quoted;
  for (const char c : model) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Platform\\OS]\r\n\"ModelName\"=\"" + quoted + "\"\r\n";
}

// UTF-8 text is what survives the system's own decoding, which makes U+FFFD of
// what is not.
bool IsUtf8(const std::string& text) { return platform::ToUtf8(platform::FromUtf8(text)) == text; }

// The text as the terminal reads info.txt, through the system's own code page;
// nothing for a character that code page does not hold, which would come back
// as another.
std::optional<std::string> InTerminalCodePage(const std::string& utf8) {
  const platform::WString wide = platform::FromUtf8(utf8);
  std::string ansi(wide.size() * 2, '\0');
  ansi.resize(static_cast<std::size_t>(WideCharToMultiByte(platform::kTerminalAnsiCodePage, 0, wide.data(), static_cast<int>(wide.size()),
                                                           ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr)));
  platform::WString back(ansi.size(), u'\0');
  back.resize(static_cast<std::size_t>(MultiByteToWideChar(platform::kTerminalAnsiCodePage, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                           back.data(), static_cast<int>(back.size()))));
  return back == wide ? std::optional(ansi) : std::nullopt;
}

std::vector<std::byte> BytesOf(std::string_view text) {
  const auto bytes = std::as_bytes(std::span(text.data(), text.size()));
  return {bytes.begin(), bytes.end()};
}

// One of our files, replaced whole. A link there is taken away rather than
// followed: nothing outside the folder is ever written through it.
std::string WriteOwnFile(const fs::path& file, std::span<const std::byte> bytes) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(file, ec))) fs::remove(file, ec);
  Output output(file);
  if (!output.ok() || !output.Write(bytes) || !output.Commit()) return output.error();
  return {};
}

}  // namespace

int RunMakeTerminal(const Arguments& args) {
  const fs::path folder = PathOf(args.operands.at(0));
  const std::string model = args.model.value_or("QX210");
  const std::string version = args.systemVersion.value_or("V1.02");
  // A line break would end the registry value or info.txt's first line early.
  for (const auto& [name, value] : {std::pair("--model", &model), {"--system-version", &version}}) {
    if (value->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
      return UsageError(args, std::string(name) + " cannot hold a line break");
    }
  }
  // The registry keeps the model as UTF-16; the terminal reads info.txt in code page 949.
  if (!IsUtf8(model)) return UsageError(args, "--model takes UTF-8 text");
  const auto info = IsUtf8(version) ? InTerminalCodePage(version + "\r\n") : std::nullopt;
  if (!info) {
    return UsageError(args, "--system-version '" + version + "' cannot be written in code page 949, as the terminal reads it");
  }

  std::error_code ec;
  const fs::file_status status = fs::status(folder, ec);
  if (fs::exists(status) && !fs::is_directory(status)) {
    return Complain(args, folder.string() + " is not a folder; name a new or empty one", Exit::kRefused);
  }
  const bool ours = fs::is_regular_file(fs::symlink_status(folder / kMarker, ec));
  if (fs::is_directory(status) && !ours && !fs::is_empty(folder, ec)) {
    return Complain(args,
                    ec ? FileError("cannot read", folder, ec.value())
                       : folder.string() + " holds files and is no terminal folder made by make-terminal; it stays as "
                                           "it was: name a new or empty folder",
                    ec ? Exit::kFileError : Exit::kRefused);
  }
  for (const fs::path& made : {folder, folder / "ResidentFlash/System", folder / "SDMMC DISK", folder / "flash"}) {
    if (fs::create_directories(made, ec); ec) {
      return Complain(args, FileError("cannot make", made, ec.value()), Exit::kFileError);
    }
  }
  // The marker first: a folder left half made is still known to be ours.
  const std::pair<fs::path, std::vector<std::byte>> files[] = {
      {folder / kMarker, BytesOf(kMarkerText)},
      {folder / "registry.reg", BytesOf(RegistryText(model))},
      {folder / "ResidentFlash/System/info.txt", BytesOf(*info)},
      {folder / "ResidentFlash/System/logo.bmp", EncodeLogoBitmap(std::vector(logo::kSourcePixelDataBytes, kDefaultLogoGrey))}};
  for (const auto& [file, bytes] : files) {
    if (const std::string error = WriteOwnFile(file, bytes); !error.empty()) {
      return Complain(args, error, Exit::kFileError);
    }
  }
  Say(args, "%s: a terminal folder: model %s, system version %s, %s\n", folder.string().c_str(), model.c_str(),
      version.c_str(), ours ? "made again, its card and flash as they were" : "an empty card and flash");
  return Code(Exit::kOk);
}

}  // namespace logo_tool

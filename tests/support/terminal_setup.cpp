#include "tests/support/terminal_setup.h"

#include <fstream>
#include <sstream>

namespace bramble::test {

void WriteIdentity(const TempTerminal& terminal, std::string_view model, std::string_view version) {
  terminal.WriteText("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Platform\\OS]\r\n\"ModelName\"=\"" +
                                         std::string(model) + "\"\r\n");
  terminal.WriteText("ResidentFlash/System/info.txt", std::string(version) + "\r\nbuild notes\r\n");
}

void WriteBitmap(const TempTerminal& terminal, const BitmapLayout& layout, std::string_view relative,
                 const PixelFunction& pixel) {
  terminal.Write(relative, BuildBitmap(layout, pixel));
}

void MakeReadyTerminal(const TempTerminal& terminal, std::string_view model) {
  WriteIdentity(terminal, model);
  WriteBitmap(terminal, BitmapLayout{});
  WriteBitmap(terminal, BitmapLayout{}, "ResidentFlash/System/logo.bmp", [](int x, int y) {
    return static_cast<std::uint32_t>(((x / 100 + y / 60) % 2) ? 0x2050A0 : 0xE0E0E0);
  });
  terminal.MakeFlashDriver();
  terminal.WriteText("flash/trace.log", "");
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::byte> EndMarker() {
  std::vector<std::byte> marker(512, std::byte{0xFF});
  for (std::size_t i = 0; i < 4; ++i) marker[i] = static_cast<std::byte>("LOGO"[i]);
  return marker;
}

}  // namespace bramble::test

// The codec that bramble-logo.exe links, on the system's own decoders (Wine's in
// CI): its PNG read back pixel for pixel from an open file, and the three ways a
// file is refused. How close its pictures come to the Linux codec's is measured
// against that codec's own results, by the script that runs both.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tools/bramble_logo/codec_abi.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLogoRgb = 800 * 480 * 3;

struct Folder {
  fs::path root = fs::temp_directory_path() / ("bramble-codec-" + std::to_string(::GetCurrentProcessId()));
  Folder() { fs::create_directories(root); }
  ~Folder() { fs::remove_all(root); }
  fs::path Write(const char* name, std::span<const std::byte> bytes) const {
    std::ofstream(root / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return root / name;
  }
};

struct Fitted {
  int status;
  BrambleCodecReport report;
  std::vector<unsigned char> rgb;
};

Fitted FitFile(const fs::path& path) {
  Fitted fitted{0, {}, std::vector<unsigned char>(kLogoRgb)};
  const int fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
  EXPECT_GE(fd, 0) << path;
  fitted.status = bramble_logo_codec()->fit(fd, nullptr, 0, 0, 0, 0, fitted.rgb.data(), &fitted.report);
  _close(fd);
  return fitted;
}

TEST(WicCodec, ItsPngReadsBackPixelForPixelAndFilesItCannotShowAreRefusedAsTheToolTellsThem) {
  const Folder folder;
  std::vector<unsigned char> rgb(kLogoRgb);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 7 / 3);
  void* bytes = nullptr;
  std::size_t size = 0;
  BrambleCodecReport report{};
  ASSERT_EQ(bramble_logo_codec()->encode_png(rgb.data(), &bytes, &size, &report), kBrambleCodecOk) << report.reason;
  const std::unique_ptr<void, decltype(&std::free)> owned(bytes, &std::free);
  const std::span png(static_cast<const std::byte*>(bytes), size);
  ASSERT_GT(size, 33u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes) + 1, 3), "PNG");
  const Fitted back = FitFile(folder.Write("logo.png", png));
  EXPECT_EQ(back.status, kBrambleCodecOk) << back.report.reason;
  EXPECT_EQ(back.report.width, 800);
  EXPECT_EQ(back.report.height, 480);
  EXPECT_EQ(back.report.transparent, 0);
  EXPECT_TRUE(back.rgb == rgb);

  const Fitted text = FitFile(folder.Write("notes.txt", std::as_bytes(std::span("not a picture"))));
  EXPECT_EQ(text.status, kBrambleCodecNotPicture);
  EXPECT_EQ(std::string(text.report.reason).substr(0, 14), "JPEG, PNG, GIF");
  EXPECT_EQ(FitFile(folder.Write("cut.png", png.first(size / 2))).status, kBrambleCodecDamaged);
  // IHDR says 66336 x 66016: refused by its header, before a decoder takes it.
  std::vector<std::byte> huge(png.begin(), png.end());
  huge[17] = huge[21] = std::byte{1};
  const Fitted large = FitFile(folder.Write("huge.png", huge));
  EXPECT_EQ(large.status, kBrambleCodecTooLarge);
  EXPECT_EQ(large.report.width, 65536 + 800);
}

}  // namespace

#include "logo/converter.h"

#include <array>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <system_error>

#include "logo/image_format.h"

namespace logo {
namespace {

constexpr int Code(ConvertResult result) { return static_cast<int>(result); }

// The two files of one conversion: terminal paths for the dialog, host paths for
// the host tools. The names are what the diagnostic lines print.
struct ConversionFiles {
  std::string sourceName;
  std::string outputName;
  std::function<platform::UniqueFile()> openSource;
  std::function<platform::UniqueFile()> openOutput;
  std::function<void()> removeOutput;
  // The source has passed the pre-check, whose rules it must still pass now:
  // pixel data cut short since then is refused rather than filled with black.
  bool wholePixelData = false;
};

// Reads the pixel data that follows `offset`, at most one logo's worth, and tells
// how many bytes there were. An offset past the end of the file gives none; a
// seek or read that fails gives nothing, since pixels that could not be read are
// not pixels that the file lacks.
std::optional<std::size_t> ReadPixelData(std::FILE* source, std::uint32_t offset, std::byte* buffer) {
  const auto where = static_cast<long long>(offset);
  if (where > std::numeric_limits<long>::max()) return 0;
  if (std::fseek(source, static_cast<long>(where), SEEK_SET) != 0) return std::nullopt;
  const std::size_t got = std::fread(buffer, 1, kSourcePixelDataBytes, source);
  if (std::ferror(source)) return std::nullopt;
  return got;
}

// Writes logo.bin a row at a time. A full or write-protected card must not pass
// for a new logo, so a file that did not reach the card whole is removed.
ConvertResult WriteLogo(std::span<const std::byte> pixelData, const ConversionFiles& files) {
  auto output = files.openOutput();
  if (!output) {
    std::printf("ERROR: fopen fail [%s]\r\n", files.outputName.c_str());
    return ConvertResult::kOutputFailed;
  }
  std::array<std::byte, kLogoRowBytes> row;
  bool written = true;
  for (std::size_t y = 0; written && y < static_cast<std::size_t>(kLogoHeight); ++y) {
    LogoRowFromPixels(pixelData, y, row);
    written = std::fwrite(row.data(), 1, row.size(), output.get()) == row.size();
  }
  written = platform::CloseChecked(std::move(output)) && written;
  if (!written) {
    std::printf("ERROR: write fail [%s]\r\n", files.outputName.c_str());
    files.removeOutput();
    return ConvertResult::kOutputFailed;
  }
  return ConvertResult::kWritten;
}

ConvertResult Convert(const ConversionFiles& files) {
  auto source = files.openSource();
  if (!source) {
    std::printf("ERROR: fopen fail [%s]\r\n", files.sourceName.c_str());
    return ConvertResult::kSourceNotOpened;
  }

  std::array<std::byte, kBitmapHeaderBytes> headerBytes{};
  std::optional<BitmapHeader> header;
  if (std::fread(headerBytes.data(), headerBytes.size(), 1, source.get()) == 1) header = ReadBitmapHeader(headerBytes);
  if (std::ferror(source.get())) {
    std::printf("ERROR: fread fail [%s]\r\n", files.sourceName.c_str());
    return ConvertResult::kSourceUnreadable;
  }
  // A file too short to hold the header is not a bitmap at all.
  if (!header || !header->signature) {
    std::printf("ERROR: Not BMP file\r\n");
    return ConvertResult::kNotLogoBitmap;
  }
  if (!HasLogoSize(*header)) {
    std::printf("width=%d, height=%d!!!!!\r\n", header->width, header->height);
    std::printf("ERROR: Not support size!!!!!\r\n");
    return ConvertResult::kNotLogoBitmap;
  }
  std::printf("width=%d, height=%d!!!!!\r\n", header->width, header->height);
  if (header->bitCount != kLogoBitCount) {
    std::printf("ERROR: Not RGB888 file\r\n");
    return ConvertResult::kNotLogoBitmap;
  }

  // The buffer comes before the output is opened, so running out of memory leaves
  // the old logo.bin in place.
  auto pixels = TryAllocateBytes(kSourcePixelDataBytes);
  if (!pixels) {
    std::printf("ERROR: malloc fail\r\n");
    return ConvertResult::kOutputFailed;
  }
  const std::optional<std::size_t> read = ReadPixelData(source.get(), header->pixelDataOffset, pixels.get());
  source.reset();
  if (!read) {
    std::printf("ERROR: fread fail [%s]\r\n", files.sourceName.c_str());
    return ConvertResult::kSourceUnreadable;
  }
  const std::size_t pixelBytes = *read;
  if (files.wholePixelData && pixelBytes < kSourcePixelDataBytes) {
    std::printf("ERROR: Not enough pixel data\r\n");
    return ConvertResult::kNotLogoBitmap;
  }
  return WriteLogo(std::span<const std::byte>(pixels.get(), pixelBytes), files);
}

// The terminal's C library opens narrow paths in its ANSI code page.
platform::UniqueFile OpenTerminalStream(const std::string& ansiPath, const WCHAR* mode) {
  return platform::UniqueFile(_wfopen(CString::FromAnsi(ansiPath), mode));
}

ConversionFiles TerminalFiles(std::string sourcePath, const CString& outputPath) {
  ConversionFiles files;
  files.sourceName = std::move(sourcePath);
  files.outputName = outputPath.ToAnsi();
  files.openSource = [name = files.sourceName] { return OpenTerminalStream(name, _T("rb")); };
  files.openOutput = [name = files.outputName] { return OpenTerminalStream(name, _T("wb")); };
  files.removeOutput = [outputPath] { DeleteFileW(outputPath); };
  return files;
}

}  // namespace

int ConvertBitmapToLogo(int selector, const CString& imagePath) {
  if (selector != 0) {
    ConversionFiles files = TerminalFiles(imagePath.ToAnsi(), platform::kSdLogoBin);
    files.wholePixelData = true;
    return Code(Convert(files));
  }
  return Code(Convert(TerminalFiles(CString(platform::kFlashLogoBmp).ToAnsi(), platform::kFlashLogoBin)));
}

int ConvertBitmapFile(const std::filesystem::path& source, const std::filesystem::path& output,
                      const std::optional<std::filesystem::path>& writeTo, bool wholePixelData) {
  const std::filesystem::path target = writeTo.value_or(output);
  ConversionFiles files;
  files.wholePixelData = wholePixelData;
  files.sourceName = source.string();
  files.outputName = output.string();
  // A folder opens for reading on the host; on the terminal it does not.
  files.openSource = [&source] {
    std::error_code ignored;
    return std::filesystem::is_directory(source, ignored) ? nullptr : platform::UniqueFile(std::fopen(source.string().c_str(), "rb"));
  };
  files.openOutput = [&target] { return platform::UniqueFile(std::fopen(target.string().c_str(), "wb")); };
  files.removeOutput = [&target] {
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
  };
  return Code(Convert(files));
}

}  // namespace logo

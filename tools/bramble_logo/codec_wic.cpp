// bramble-logo's picture codec on Windows, linked into the program: Windows
// Imaging Component decodes and encodes, the Windows colour system takes a tagged
// picture to sRGB, and the rest is ours (resample.h, picture_metadata.h): Wine's
// WIC, which CI runs it on, reads no orientation or profile from a JPEG, and
// scales by nearest neighbour.

#include <windows.h>
#include <icm.h>
#include <io.h>
#include <objidl.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "logo/image_format.h"
#include "tools/bramble_logo/codec_abi.h"
#include "tools/bramble_logo/picture_format.h"
#include "tools/bramble_logo/resample.h"

namespace logo_tool {
namespace {

using Microsoft::WRL::ComPtr;

constexpr int kWidth = logo::kLogoWidth, kHeight = logo::kLogoHeight;
constexpr UINT kRgbaBytes = 4;
// Where a JPEG keeps its EXIF block and colour profile, before the picture: a
// profile of more is rare, and the picture is then shown as its numbers say.
constexpr std::size_t kJpegMetadataBytes = std::size_t{1} << 20;

int Fail(BrambleCodecReport* report, int status, std::string text) {
  const std::size_t length = std::min(text.size(), sizeof report->reason - 1);
  std::memcpy(report->reason, text.data(), length);
  report->reason[length] = '\0';
  return status;
}

// The system's words for a failure, or its number where it has none (Wine has
// few for WIC's).
std::string Describe(HRESULT result) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
  std::string described;
  if (length > 0) {
    described.resize(length * 3);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), described.data(),
                                          static_cast<int>(described.size()), nullptr, nullptr);
    described.resize(static_cast<std::size_t>(std::max(bytes, 0)));
    while (!described.empty() && (described.back() == '\n' || described.back() == '\r' || described.back() == '.')) {
      described.pop_back();
    }
  }
  char number[32];
  std::snprintf(number, sizeof number, "error 0x%08lX", static_cast<unsigned long>(result));
  return described.empty() ? number : described + " (" + number + ")";
}

// COM for this call on this thread; a thread that has it already in another mode
// keeps it, and WIC works there too.
class ComScope {
 public:
  ComScope() : m_result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_result)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool ok() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

 private:
  HRESULT m_result;
};

ComPtr<IWICImagingFactory> Factory() {
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) {
    return nullptr;
  }
  return factory;
}

// A stream over the caller's open file, read where the decoder asks: WIC reads
// from streams, and the file may have no name left to open it by again.
class HandleStream final : public IStream {
 public:
  explicit HandleStream(HANDLE file) : m_file(file) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    if (id == __uuidof(IUnknown) || id == __uuidof(ISequentialStream) || id == __uuidof(IStream)) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&m_references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE Read(void* into, ULONG count, ULONG* got) override {
    DWORD read = 0;
    const BOOL ok = ReadFile(m_file, into, count, &read, nullptr);
    if (got) *got = read;
    if (!ok) return HRESULT_FROM_WIN32(GetLastError());
    return read == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    LARGE_INTEGER now{};
    if (!SetFilePointerEx(m_file, move, &now, origin)) return HRESULT_FROM_WIN32(GetLastError());
    if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return E_POINTER;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(m_file, &size)) return HRESULT_FROM_WIN32(GetLastError());
    *stat = {};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    stat->grfMode = STGM_READ;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  ~HandleStream() = default;
  HANDLE m_file;
  LONG m_references = 1;
};

// Up to `count` bytes from the file's start.
std::vector<std::byte> ReadStart(HANDLE file, std::size_t count) {
  std::vector<std::byte> bytes(count);
  DWORD got = 0;
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !ReadFile(file, bytes.data(), static_cast<DWORD>(count), &got, nullptr)) {
    got = 0;
  }
  bytes.resize(got);
  return bytes;
}

// The formats prepare promises, as far as this system has their decoders: WebP
// and HEIF come with extensions that a Windows may lack.
bool Reads(IWICImagingFactory* factory, PictureFormat format) {
  const auto has = [&](const GUID& container) {
    ComPtr<IWICBitmapDecoder> decoder;
    return SUCCEEDED(factory->CreateDecoder(container, nullptr, &decoder));
  };
  switch (format) {
    case PictureFormat::kJpeg:
    case PictureFormat::kPng:
    case PictureFormat::kGif:
    case PictureFormat::kTiff:
    case PictureFormat::kIco: return true;
    case PictureFormat::kWebp: return has(GUID_ContainerFormatWebp);
    case PictureFormat::kHeic:
    case PictureFormat::kAvif:
    case PictureFormat::kHeif: return has(GUID_ContainerFormatHeif);
    default: return false;
  }
}

std::string ReadFormats(IWICImagingFactory* factory) {
  std::string formats = "JPEG, PNG, GIF";
  if (Reads(factory, PictureFormat::kWebp)) formats += ", WebP";
  formats += ", TIFF, ICO";
  if (Reads(factory, PictureFormat::kHeif)) formats += ", HEIC, AVIF";
  return formats;
}

// The frame's embedded ICC profile, if it has one. Wine's JPEG decoder has none
// to give: there, as on every Windows, the file's own chunks are read.
std::vector<BYTE> Profile(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, std::span<const std::byte> jpeg) {
  if (!jpeg.empty()) {
    const std::vector<std::byte> profile = JpegProfile(jpeg);
    return {reinterpret_cast<const BYTE*>(profile.data()), reinterpret_cast<const BYTE*>(profile.data() + profile.size())};
  }
  UINT count = 0;
  if (FAILED(frame->GetColorContexts(0, nullptr, &count)) || count == 0) return {};
  std::vector<ComPtr<IWICColorContext>> owned(count);
  std::vector<IWICColorContext*> contexts(count);
  for (UINT i = 0; i < count; ++i) {
    if (FAILED(factory->CreateColorContext(&owned[i]))) return {};
    contexts[i] = owned[i].Get();
  }
  if (FAILED(frame->GetColorContexts(count, contexts.data(), &count))) return {};
  for (UINT i = 0; i < count; ++i) {
    WICColorContextType type{};
    UINT size = 0;
    if (FAILED(contexts[i]->GetType(&type)) || type != WICColorContextProfile ||
        FAILED(contexts[i]->GetProfileBytes(0, nullptr, &size)) || size == 0) {
      continue;
    }
    std::vector<BYTE> bytes(size);
    if (SUCCEEDED(contexts[i]->GetProfileBytes(size, bytes.data(), &size))) return bytes;
  }
  return {};
}

// The placed pixels from the picture's profile to sRGB, as vips does after
// scaling. A profile the colour system cannot use leaves them as they are, as
// pixels without one are taken for sRGB.
void ToSrgb(std::vector<BYTE>& profile, std::vector<unsigned char>& rgba, const Placement& place) {
  using Profile = std::unique_ptr<void, decltype(&CloseColorProfile)>;
  PROFILE embedded{PROFILE_MEMBUFFER, profile.data(), static_cast<DWORD>(profile.size())};
  const Profile from(OpenColorProfileW(&embedded, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING), &CloseColorProfile);
  wchar_t path[MAX_PATH] = {};
  DWORD size = sizeof path;
  constexpr DWORD kSrgb = 0x73524742;  // LCS_sRGB, which icm.h spells as a multi-character constant
  if (!from || !GetStandardColorSpaceProfileW(nullptr, kSrgb, path, &size)) return;
  PROFILE srgb{PROFILE_FILENAME, path, static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t))};
  const Profile to(OpenColorProfileW(&srgb, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING), &CloseColorProfile);
  if (!to) return;
  HPROFILE both[] = {from.get(), to.get()};
  DWORD intent = INTENT_RELATIVE_COLORIMETRIC;  // vips' thumbnailer's
  const std::unique_ptr<void, decltype(&DeleteColorTransform)> transform(
      CreateMultiProfileTransform(both, 2, &intent, 1, BEST_MODE, INDEX_DONT_CARE), &DeleteColorTransform);
  if (!transform) return;
  const std::size_t pixels = rgba.size() / kRgbaBytes;
  std::vector<BYTE> rgb(pixels * 3);
  for (std::size_t i = 0; i < pixels; ++i) std::memcpy(&rgb[i * 3], &rgba[i * kRgbaBytes], 3);
  // Red, green, blue in memory is what the colour system calls BGR triplets: its
  // RGB triplets are a bitmap's, blue first.
  const auto stride = static_cast<DWORD>(place.width * 3);
  if (!TranslateBitmapBits(transform.get(), rgb.data(), BM_BGRTRIPLETS, static_cast<DWORD>(place.width),
                           static_cast<DWORD>(place.height), stride, rgb.data(), BM_BGRTRIPLETS, stride, nullptr, 0)) {
    return;
  }
  for (std::size_t i = 0; i < pixels; ++i) std::memcpy(&rgba[i * kRgbaBytes], &rgb[i * 3], 3);
}

// A number of the frame's metadata (WIC's query language), or `otherwise`.
int FrameNumber(IWICBitmapFrameDecode* frame, const wchar_t* query, int otherwise) {
  ComPtr<IWICMetadataQueryReader> reader;
  PROPVARIANT value;
  PropVariantInit(&value);
  if (FAILED(frame->GetMetadataQueryReader(&reader)) || FAILED(reader->GetMetadataByName(query, &value))) {
    return otherwise;
  }
  const int number = value.vt == VT_UI2 ? value.uiVal : otherwise;
  PropVariantClear(&value);
  return number;
}

// A TIFF's orientation is in its first directory, which may be anywhere in the
// file: WIC has read it.
int TiffFrameOrientation(IWICBitmapFrameDecode* frame) {
  const int orientation = FrameNumber(frame, L"/ifd/{ushort=274}", kUpright);
  return orientation >= kUpright && orientation <= kLastOrientation ? orientation : kUpright;
}

// A GIF's first frame on the GIF's screen, as libvips shows it: where the frame
// does not cover the screen, transparent if the frame has transparent pixels,
// black if not. WIC gives the frame alone.
void OnGifScreen(IWICBitmapFrameDecode* frame, const PictureSize& screen, UINT& width, UINT& height,
                 std::vector<unsigned char>& rgba) {
  if (screen.width <= width && screen.height <= height) return;
  const auto left = static_cast<UINT>(FrameNumber(frame, L"/imgdesc/Left", 0));
  const auto top = static_cast<UINT>(FrameNumber(frame, L"/imgdesc/Top", 0));
  const auto screenWidth = static_cast<UINT>(screen.width), screenHeight = static_cast<UINT>(screen.height);
  bool seeThrough = false;
  for (std::size_t at = 3; at < rgba.size(); at += kRgbaBytes) seeThrough |= rgba[at] < 255;
  std::vector<unsigned char> canvas(std::size_t{screenWidth} * screenHeight * kRgbaBytes);
  for (std::size_t at = 3; !seeThrough && at < canvas.size(); at += kRgbaBytes) canvas[at] = 255;
  const UINT columns = left < screenWidth ? std::min(width, screenWidth - left) : 0;  // a frame may lie off it
  for (UINT y = 0; columns > 0 && y < height && top + y < screenHeight; ++y) {
    std::copy_n(&rgba[std::size_t{y} * width * kRgbaBytes], std::size_t{columns} * kRgbaBytes,
                &canvas[(std::size_t{top + y} * screenWidth + left) * kRgbaBytes]);
  }
  rgba = std::move(canvas);
  width = screenWidth;
  height = screenHeight;
}

// The whole frame as RGBA, in strips that each fit CopyPixels' 32-bit size.
int Decode(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, UINT width, UINT height,
           std::vector<unsigned char>& rgba, BrambleCodecReport* report) {
  ComPtr<IWICFormatConverter> converter;
  HRESULT result = factory->CreateFormatConverter(&converter);
  if (FAILED(result)) return Fail(report, kBrambleCodecFailed, Describe(result));
  result = converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                 WICBitmapPaletteTypeCustom);
  if (FAILED(result)) return Fail(report, kBrambleCodecDamaged, Describe(result));
  const UINT stride = width * kRgbaBytes;
  rgba.resize(std::size_t{stride} * height);
  const UINT strip = std::max<UINT>(1, UINT_MAX / stride);
  for (UINT y = 0; y < height; y += strip) {
    const UINT rows = std::min(strip, height - y);
    const WICRect area{0, static_cast<INT>(y), static_cast<INT>(width), static_cast<INT>(rows)};
    unsigned char* at = rgba.data() + std::size_t{stride} * y;
    result = converter->CopyPixels(&area, stride, stride * rows, at);
    if (FAILED(result)) return Fail(report, kBrambleCodecDamaged, Describe(result));
    for (unsigned char* pixel = at; pixel < at + std::size_t{stride} * rows; pixel += kRgbaBytes) {
      std::swap(pixel[0], pixel[2]);
    }
  }
  return kBrambleCodecOk;
}

int FitFile(int fd, int fit, std::uint32_t background, unsigned char* rgb, BrambleCodecReport* report) {
  const ComScope com;
  const ComPtr<IWICImagingFactory> factory = com.ok() ? Factory() : nullptr;
  if (!factory) return Fail(report, kBrambleCodecFailed, "Windows Imaging Component did not start");
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) return Fail(report, kBrambleCodecFailed, "no file to read");
  const std::vector<std::byte> head = ReadStart(file, kJpegMetadataBytes);
  const PictureFormat format = SniffPictureFormat(head);
  if (!Reads(factory.Get(), format)) return Fail(report, kBrambleCodecNotPicture, ReadFormats(factory.Get()));

  // Wine's decoders decode whole as they open: a size to refuse is refused first.
  int orientation = format == PictureFormat::kJpeg ? JpegOrientation(head) : kUpright;
  bool swap = SwapsAxes(orientation);
  if (const auto size = HeaderSize(format, head); size && size->width * size->height > kBrambleCodecMaxPixels) {
    report->width = static_cast<int>(swap ? size->height : size->width);
    report->height = static_cast<int>(swap ? size->width : size->height);
    return Fail(report, kBrambleCodecTooLarge, "too large");
  }
  ComPtr<IStream> stream;
  stream.Attach(new HandleStream(file));
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(stream->Seek({}, STREAM_SEEK_SET, nullptr)) ||
      FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder))) {
    return Fail(report, kBrambleCodecDamaged, "no " + std::string(FormatName(format)) + " picture can be decoded from it");
  }
  ComPtr<IWICBitmapFrameDecode> frame;
  HRESULT result = decoder->GetFrame(0, &frame);
  UINT width = 0, height = 0;
  if (SUCCEEDED(result)) result = frame->GetSize(&width, &height);
  // An icon holds one picture in several sizes and depths: the largest, and of
  // those the last, which icons list after their fewer colours.
  UINT frames = 0;
  if (SUCCEEDED(result) && format == PictureFormat::kIco && SUCCEEDED(decoder->GetFrameCount(&frames))) {
    for (UINT index = 1; index < frames; ++index) {
      ComPtr<IWICBitmapFrameDecode> other;
      UINT otherWidth = 0, otherHeight = 0;
      if (SUCCEEDED(decoder->GetFrame(index, &other)) && SUCCEEDED(other->GetSize(&otherWidth, &otherHeight)) &&
          std::uint64_t{otherWidth} * otherHeight >= std::uint64_t{width} * height) {
        frame = other;
        width = otherWidth;
        height = otherHeight;
      }
    }
  }
  if (FAILED(result)) return Fail(report, kBrambleCodecDamaged, Describe(result));
  if (format == PictureFormat::kTiff) {
    orientation = TiffFrameOrientation(frame.Get());
    swap = SwapsAxes(orientation);
  }
  report->width = static_cast<int>(std::min<UINT>(swap ? height : width, INT_MAX));  // a TIFF's may be any
  report->height = static_cast<int>(std::min<UINT>(swap ? width : height, INT_MAX));
  if (width == 0 || height == 0) return Fail(report, kBrambleCodecDamaged, "a picture of no pixels");
  if (std::int64_t{width} * height > kBrambleCodecMaxPixels || width > INT_MAX / kRgbaBytes) {
    return Fail(report, kBrambleCodecTooLarge, "too large");
  }

  std::vector<unsigned char> stored;
  if (const int status = Decode(factory.Get(), frame.Get(), width, height, stored, report); status != kBrambleCodecOk) {
    return status;
  }
  if (const auto screen = HeaderSize(format, head); format == PictureFormat::kGif && screen) {
    OnGifScreen(frame.Get(), *screen, width, height, stored);
    report->width = static_cast<int>(width);
    report->height = static_cast<int>(height);
  }
  const Placement place = PlaceOnLogo(report->width, report->height, fit);
  std::vector<unsigned char> placed =
      Resample({stored.data(), static_cast<int>(width), static_cast<int>(height), std::size_t{width} * kRgbaBytes},
               orientation, place);
  stored = {};
  const auto jpeg = format == PictureFormat::kJpeg ? std::span(head) : std::span<const std::byte>();
  if (std::vector<BYTE> profile = Profile(factory.Get(), frame.Get(), jpeg); !profile.empty()) {
    ToSrgb(profile, placed, place);
  }
  report->transparent = Compose(placed, place, background, rgb);
  return kBrambleCodecOk;
}

int FitPixels(const unsigned char* pixels, int width, int height, int fit, std::uint32_t background,
              unsigned char* rgb, BrambleCodecReport* report) {
  report->width = width;
  report->height = height;
  std::vector<unsigned char> rgba(std::size_t(width) * std::size_t(height) * kRgbaBytes, 255);
  for (std::size_t i = 0; i < rgba.size() / kRgbaBytes; ++i) std::memcpy(&rgba[i * kRgbaBytes], pixels + i * 3, 3);
  const Placement place = PlaceOnLogo(width, height, fit);
  Compose(Resample({rgba.data(), width, height, std::size_t(width) * kRgbaBytes}, kUpright, place), place, background,
          rgb);
  return kBrambleCodecOk;
}

int Fit(int fd, const unsigned char* pixels, int width, int height, int fit, std::uint32_t background, unsigned char* rgb,
        BrambleCodecReport* report) {
  *report = {};
  try {
    return fd >= 0 ? FitFile(fd, fit, background, rgb, report)
                   : FitPixels(pixels, width, height, fit, background, rgb, report);
  } catch (const std::bad_alloc&) {
    return Fail(report, kBrambleCodecFailed, "not enough memory for a picture of " + std::to_string(report->width) +
                                                 " x " + std::to_string(report->height));
  }
}

int EncodePng(const unsigned char* rgb, void** bytes, std::size_t* size, BrambleCodecReport* report) {
  *report = {};
  *bytes = nullptr;
  *size = 0;
  const ComScope com;
  const ComPtr<IWICImagingFactory> factory = com.ok() ? Factory() : nullptr;
  if (!factory) return Fail(report, kBrambleCodecFailed, "Windows Imaging Component did not start");
  // WIC's PNG encoder takes its colours in a bitmap's order.
  constexpr UINT kStride = kWidth * 3;
  std::vector<BYTE> bgr(rgb, rgb + std::size_t{kStride} * kHeight);
  for (std::size_t at = 0; at < bgr.size(); at += 3) std::swap(bgr[at], bgr[at + 2]);
  ComPtr<IStream> memory;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  HRESULT result = CreateStreamOnHGlobal(nullptr, TRUE, &memory);
  if (SUCCEEDED(result)) result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(result)) result = encoder->Initialize(memory.Get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(result)) result = encoder->CreateNewFrame(&frame, &options);
  if (SUCCEEDED(result)) result = frame->Initialize(options.Get());
  if (SUCCEEDED(result)) result = frame->SetSize(kWidth, kHeight);
  if (SUCCEEDED(result)) result = frame->SetPixelFormat(&format);
  if (SUCCEEDED(result) && format != GUID_WICPixelFormat24bppBGR) result = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (SUCCEEDED(result)) result = frame->WritePixels(kHeight, kStride, static_cast<UINT>(bgr.size()), bgr.data());
  if (SUCCEEDED(result)) result = frame->Commit();
  if (SUCCEEDED(result)) result = encoder->Commit();
  STATSTG stat{};
  if (SUCCEEDED(result)) result = memory->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(result)) result = memory->Seek({}, STREAM_SEEK_SET, nullptr);
  if (FAILED(result)) return Fail(report, kBrambleCodecFailed, Describe(result));
  const std::size_t length = static_cast<std::size_t>(stat.cbSize.QuadPart);
  std::unique_ptr<void, decltype(&std::free)> out(std::malloc(std::max<std::size_t>(length, 1)), &std::free);
  ULONG got = 0;
  if (!out) return Fail(report, kBrambleCodecFailed, "not enough memory for the PNG file");
  result = memory->Read(out.get(), static_cast<ULONG>(length), &got);
  if (FAILED(result) || got != length) return Fail(report, kBrambleCodecFailed, Describe(FAILED(result) ? result : E_FAIL));
  *bytes = out.release();
  *size = length;
  return kBrambleCodecOk;
}

constexpr BrambleCodec kCodec = {kBrambleCodecVersion, Fit, EncodePng};

}  // namespace
}  // namespace logo_tool

// Linked into the program, under the name a loaded module would export.
extern "C" const BrambleCodec* bramble_logo_codec() { return &logo_tool::kCodec; }

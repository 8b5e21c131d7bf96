#include "platform/win32/win32_host.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <memory>
#include <type_traits>

namespace platform::win32 {
namespace {

using Microsoft::WRL::ComPtr;

// Owners of the drawing handles a capture takes.
struct WindowDcReleaser {
  HWND window;
  void operator()(HDC dc) const { ::ReleaseDC(window, dc); }
};
using WindowDc = std::unique_ptr<std::remove_pointer_t<HDC>, WindowDcReleaser>;
struct DcDeleter {
  void operator()(HDC dc) const { ::DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
struct ObjectDeleter {
  void operator()(HBITMAP object) const { ::DeleteObject(object); }
};
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, ObjectDeleter>;

// COM on this thread for as long as it lives, unless the thread had it already.
class ComScope {
 public:
  ComScope() : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_result)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

 private:
  HRESULT m_result;
};

// The window's client area as it is on the screen, in a bitmap of its own.
Bitmap CaptureClientArea(HWND window) {
  RECT client{};
  if (!::GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return nullptr;
  const WindowDc screen(::GetDC(window), WindowDcReleaser{window});
  if (!screen) return nullptr;
  const MemoryDc memory(::CreateCompatibleDC(screen.get()));
  Bitmap picture(::CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
  if (!memory || !picture) return nullptr;
  const HGDIOBJ previous = ::SelectObject(memory.get(), picture.get());
  const bool copied = ::BitBlt(memory.get(), 0, 0, client.right, client.bottom, screen.get(), 0, 0, SRCCOPY);
  ::SelectObject(memory.get(), previous);
  return copied ? std::move(picture) : nullptr;
}

// The platform's own PNG encoder (the Windows Imaging Component) writes the file,
// compressed, as 24-bit colour.
bool WritePng(HBITMAP picture, const std::filesystem::path& file) {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmap> source;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  UINT width = 0, height = 0;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  return SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
         SUCCEEDED(factory->CreateBitmapFromHBITMAP(picture, nullptr, WICBitmapIgnoreAlpha, &source)) &&
         SUCCEEDED(source->GetSize(&width, &height)) && SUCCEEDED(factory->CreateStream(&stream)) &&
         SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
         SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) && SUCCEEDED(frame->Initialize(options.Get())) &&
         SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
         SUCCEEDED(frame->WriteSource(source.Get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
         SUCCEEDED(encoder->Commit());
}

}  // namespace

bool Win32Host::SaveScreenshot(HWND window, const std::filesystem::path& file) {
  const ComScope com;
  const Bitmap picture = CaptureClientArea(window);
  return com.usable() && picture && WritePng(picture.get(), file);
}

}  // namespace platform::win32

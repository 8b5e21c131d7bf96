// Times one preview repaint as the dialog paints it, message and all: the dialog
// is invalidated and its paint message handled (load logo.bmp with SHLoadDIBitmap,
// read its record, stretch 800 x 480 into the 550 x 350 preview of the window,
// release everything), against Qt's own load-and-scale of the same file
// (QImage(path), scaled(550, 350), drawn at the same place), alternating the two
// in one run, and prints both medians and their ratio. Target: the repaint within
// 2x of Qt's.

#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/resources.h"
#include "dialog/bramble_dlg.h"
#include "logo/image_format.h"
#include "platform/formats/bitmap_format.h"
#include "platform/formats/dialog_template.h"
#include "platform/formats/little_endian.h"
#include "platform/window/window.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 101;
constexpr int kScreenWidth = platform::kScreenWidth;
constexpr int kScreenHeight = platform::kScreenHeight;
constexpr int kPreviewLeft = CBrambleDlg::kPreviewLeft;
constexpr int kPreviewTop = CBrambleDlg::kPreviewTop;
constexpr int kPreviewWidth = CBrambleDlg::kPreviewWidth;
constexpr int kPreviewHeight = CBrambleDlg::kPreviewHeight;
constexpr std::uint32_t kHeaderBytes = bmp::kPlainHeaderSize;
constexpr std::size_t kRowBytes = logo::kSourceRowBytes;  // no padding needed
constexpr std::uint32_t kBackground = 0xFFECECEC;

// A classic 24-bit bottom-up bitmap whose neighbouring pixels differ.
std::vector<std::byte> StandardBitmap() {
  std::vector<std::byte> file(kHeaderBytes + kRowBytes * kScreenHeight);
  file[0] = std::byte{'B'};
  file[1] = std::byte{'M'};
  platform::PutU32(&file[2], static_cast<std::uint32_t>(file.size()));
  platform::PutU32(&file[10], kHeaderBytes);
  platform::PutU32(&file[14], 40);
  platform::PutU32(&file[18], kScreenWidth);
  platform::PutU32(&file[22], kScreenHeight);
  platform::PutU16(&file[26], 1);
  platform::PutU16(&file[28], 24);
  for (std::size_t i = kHeaderBytes; i < file.size(); ++i) file[i] = static_cast<std::byte>((i * 31 + i / kRowBytes) & 0xFF);
  return file;
}

// Shows nothing; the window system keeps its windows in memory.
class NoScreen final : public platform::window::WindowHost {
 public:
  void Wait(std::optional<platform::window::Clock::time_point> deadline) override {
    if (deadline) std::this_thread::sleep_until(*deadline);
  }
};

// The yardstick: Qt's own loader and scaler, drawn the same way.
bool QtLoadAndScale(QImage& surface, const QString& path) {
  const QImage image(path);
  if (image.isNull()) return false;
  const QImage scaled = image.scaled(kPreviewWidth, kPreviewHeight);
  QPainter painter(&surface);
  painter.drawImage(kPreviewLeft, kPreviewTop, scaled);
  return true;
}

double Milliseconds(Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's notes about the off-screen platform would only clutter the report.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "bench_repaint: %s\n", qPrintable(message));
  });
  QGuiApplication app(argc, argv);

  const fs::path root = fs::temp_directory_path() / ("bramble-bench-repaint-" + std::to_string(::getpid()));
  fs::create_directories(root / "SDMMC DISK");
  const fs::path file = root / "SDMMC DISK/logo.bmp";
  {
    const auto bitmap = StandardBitmap();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bitmap.data()), static_cast<std::streamsize>(bitmap.size()));
  }
  NoScreen screen;
  screen.terminalRoot = root;
  screen.debugOutput = [](std::string_view) {};
  screen.resources = app::CompiledResources();
  platform::InstallHost(&screen);

  const QString qtPath = QString::fromStdString(file.string());
  QImage qtSurface(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  std::vector<double> repaintMs, qtMs;
  bool ok = true;
  CBrambleDlg dialog;
  screen.modalScript = [&](CDialog& running) {
    running.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_OPEN_IMAGE, BN_CLICKED));
    const platform::window::Surface& surface = platform::window::FromHandle(running.m_hWnd)->surface;
    for (int round = 0; ok && round <= kRounds; ++round) {
      const auto start = Clock::now();
      running.InvalidateRect(nullptr, TRUE);
      ok = platform::PumpUntilIdle(running);
      const auto repainted = Clock::now();
      ok = ok && surface.At(kPreviewLeft + kPreviewWidth / 2, kPreviewTop + kPreviewHeight / 2) != kBackground;
      qtSurface.fill(QColor::fromRgb(kBackground));
      const auto qtStart = Clock::now();
      ok = ok && QtLoadAndScale(qtSurface, qtPath);
      const auto qtDone = Clock::now();
      if (round == 0) continue;  // warms the page cache and Qt's image plugins
      repaintMs.push_back(Milliseconds(repainted - start));
      qtMs.push_back(Milliseconds(qtDone - qtStart));
    }
    running.SendMessage(WM_COMMAND, IDCANCEL);
  };
  ok = dialog.DoModal() == IDCANCEL && ok;
  const bool leaked = !(platform::window::LiveGdiObjects() == platform::window::GdiCounts{});
  std::error_code ec;
  fs::remove_all(root, ec);
  if (!ok || leaked) {
    std::fprintf(stderr, "bench_repaint: %s\n", leaked ? "the repaint left drawing objects alive" : "a paint failed");
    return 1;
  }

  const double repaint = Median(repaintMs);
  const double qt = Median(qtMs);
  std::printf("preview repaint (message, load, scale 800x480 -> 550x350, draw): median %.3f ms over %d rounds\n",
              repaint, kRounds);
  std::printf("Qt's QImage load + scaled + draw of the same file:               median %.3f ms\n", qt);
  std::printf("ratio %.2f (target <= 2.00): %s\n", repaint / qt, repaint / qt <= 2.0 ? "met" : "MISSED");
  return 0;
}

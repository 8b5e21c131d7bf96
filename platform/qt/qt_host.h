#pragma once
// The Qt host of the window system: each dialog becomes a frameless 800 x 480
// widget that shows the dialog's surface under one Qt control per template
// control. Clicks, keys, typing, a close request and an uncovered window come
// back as the platform's messages. A QApplication must exist before a dialog runs.

#include <QStyle>

#include <map>
#include <memory>

#include "platform/window/window.h"

namespace platform::qt {

class QtHost final : public window::WindowHost {
 public:
  QtHost();
  ~QtHost() override;

  void Wait(std::optional<window::Clock::time_point> deadline) override;
  void DialogCreated(window::Window& dialog) override;
  void DialogDestroyed(window::Window& dialog) override;
  void TextChanged(window::Window& window) override;
  void Shown(window::Window& dialog) override;
  void SurfaceChanged(window::Window& dialog) override;
  void IconChanged(window::Window& dialog) override;
  int ShowMessageBox(window::Window* owner, WStringView text, WStringView caption, UINT type) override;
  // The dialog as the screen shows it, controls included.
  bool SaveScreenshot(HWND dialog, const std::filesystem::path& file) override;

 private:
  class DialogWidget;
  std::unique_ptr<QStyle> m_style;  // how the dialogs draw their controls, made with the first dialog
  std::map<const window::Window*, std::unique_ptr<DialogWidget>> m_dialogs;
};

}  // namespace platform::qt

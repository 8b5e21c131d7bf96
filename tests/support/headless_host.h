#pragma once
// A host of the window system without a screen, for the dialog's tests. Its clock
// only moves when the window system waits, straight to the moment it waits for,
// so a timer fires at once and always in the same order. Message boxes are
// confirmed and recorded.

#include <set>
#include <stdexcept>
#include <vector>

#include "platform/window/window.h"

namespace bramble::test {

class HeadlessHost final : public platform::window::WindowHost {
 public:
  struct Box {
    platform::WString text;
    bool overVisibleDialog;  // a dialog was on screen when it appeared
  };

  platform::window::Clock::time_point Now() override { return m_now; }
  void Wait(std::optional<platform::window::Clock::time_point> deadline) override {
    // Without a deadline only a user could go on, and a test has none.
    if (!deadline) throw std::logic_error("the dialog waits for a user; the test never ended it");
    if (*deadline > m_now) m_now = *deadline;
  }
  void DialogDestroyed(platform::window::Window& dialog) override { m_visible.erase(&dialog); }
  void Shown(platform::window::Window& dialog) override {
    if (dialog.visible) m_visible.insert(&dialog);
    else m_visible.erase(&dialog);
  }
  int ShowMessageBox(platform::window::Window*, platform::WStringView text, platform::WStringView, UINT) override {
    boxes.push_back({platform::WString(text), !m_visible.empty()});
    return IDOK;
  }

  std::vector<Box> boxes;

 private:
  platform::window::Clock::time_point m_now{std::chrono::hours(1)};
  std::set<const platform::window::Window*> m_visible;
};

}  // namespace bramble::test

#pragma once
// AfxMessageBox: the framework's message box. Who shows it is chosen by the
// program: the Qt layer shows a real box, --play records and confirms it at once,
// tests record it.

#include <functional>
#include <string>
#include <vector>

#include "platform/cstring.h"

inline constexpr unsigned MB_OK = 0x0;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

int AfxMessageBox(const char16_t* text, unsigned type = MB_OK, unsigned helpContext = 0);

namespace platform {

// Shows the box and returns the button pressed.
using MessageBoxPresenter = std::function<int(const CString& text, unsigned type)>;
// Installs a presenter; returns the one it replaces. With none, the text goes to
// standard error and the box counts as confirmed.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Records every box shown while it lives and confirms it at once.
class ScopedMessageBoxRecorder {
 public:
  ScopedMessageBoxRecorder();
  ~ScopedMessageBoxRecorder();
  ScopedMessageBoxRecorder(const ScopedMessageBoxRecorder&) = delete;
  ScopedMessageBoxRecorder& operator=(const ScopedMessageBoxRecorder&) = delete;
  const std::vector<CString>& texts() const { return m_texts; }

 private:
  std::vector<CString> m_texts;
  MessageBoxPresenter m_previous;
};

}  // namespace platform

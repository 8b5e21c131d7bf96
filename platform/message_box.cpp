#include "platform/message_box.h"

#include <cstdio>

namespace platform {
namespace {
MessageBoxPresenter g_presenter;
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  MessageBoxPresenter previous = std::move(g_presenter);
  g_presenter = std::move(presenter);
  return previous;
}

ScopedMessageBoxRecorder::ScopedMessageBoxRecorder()
    : m_previous(SetMessageBoxPresenter([this](const CString& text, unsigned) {
        m_texts.push_back(text);
        return IDOK;
      })) {}

ScopedMessageBoxRecorder::~ScopedMessageBoxRecorder() { SetMessageBoxPresenter(std::move(m_previous)); }

}  // namespace platform

int AfxMessageBox(const char16_t* text, unsigned type, unsigned /*helpContext*/) {
  const CString message(text);
  if (platform::g_presenter) return platform::g_presenter(message, type);
  std::fprintf(stderr, "[message box] %s\n", message.ToUtf8().c_str());
  return IDOK;
}

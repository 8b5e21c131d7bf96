// The dialog as the platform's own dialog manager makes it from the compiled
// resource script: real controls of the platform's classes, in the template's
// order, with their identifiers and, once the dialog has initialised, its texts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog/bramble_dlg.h"
#include "tests/support/temp_terminal.h"

namespace {

struct Control {
  int id;
  std::wstring className;
  std::wstring text;
  bool operator==(const Control&) const = default;
};

void PrintTo(const Control& control, std::ostream* out) {
  *out << control.id << " " << platform::ToUtf8(control.className) << " \"" << platform::ToUtf8(control.text) << "\"";
}

std::wstring WindowString(HWND window, bool className) {
  wchar_t text[256] = {};
  if (className) ::GetClassNameW(window, text, 256);
  else ::GetWindowTextW(window, text, 256);
  return text;
}

TEST(WindowsDialog, TheDialogManagerMakesTheTemplatesSixteenControls) {
  bramble::test::TempTerminal terminal;
  bramble::test::MakeReadyTerminal(terminal);
  std::vector<Control> found;
  platform::SetModalScript([&found](CDialog& dialog) {
    for (HWND child = ::FindWindowExW(dialog.m_hWnd, nullptr, nullptr, nullptr); child;
         child = ::FindWindowExW(dialog.m_hWnd, child, nullptr, nullptr)) {
      found.push_back({::GetDlgCtrlID(child), WindowString(child, true), WindowString(child, false)});
    }
    dialog.EndDialog(IDCANCEL);
  });
  CBrambleDlg dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);

  const std::vector<Control> expected = {
      {1000, L"Button", L"이미지열기"},
      {1001, L"Button", L"변환"},
      {0xFFFF, L"Static", L"가로:"},
      {0xFFFF, L"Static", L"세로:"},
      {0xFFFF, L"Static", L"비트수:"},
      {1003, L"Edit", L""},
      {1004, L"Edit", L""},
      {1005, L"Edit", L""},
      {0xFFFF, L"Button", L"파일 정보"},
      {1012, L"Static", L"이미지를 열어주세요.\nlogo.bmp 파일(800x480 24bit)을 SD 카드에 넣어주세요."},
      {0xFFFF, L"Static", L"모델:"},
      {0xFFFF, L"Static", L"버전:"},
      {1006, L"Edit", L"QX210"},
      {1008, L"Edit", L"V1.02"},
      {0xFFFF, L"Button", L"시스템"},
      {1002, L"Button", L"로고 초기화"},
  };
  EXPECT_EQ(found, expected);
}

}  // namespace

// The dialog as the platform's own dialog manager makes it from the compiled
// resource script: its controls in the template's order with, once the dialog
// has initialised, their texts; and the program started by hand, covering the screen.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dialog/bramble_dlg.h"
#include "platform/framework/storage.h"
#include "tests/support/temp_terminal.h"

namespace {

std::wstring Caption(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

// Where each control sits is measured in the pictures of both hosts
// (tests/app/screenshots_test.cpp); what they cannot read is the captions.
TEST(WindowsDialog, TheDialogManagerMakesTheTemplatesSixteenControlsWithTheirCaptions) {
  bramble::test::TempTerminal terminal;
  bramble::test::MakeReadyTerminal(terminal);
  std::vector<std::wstring> found;
  platform::CurrentHost().modalScript = [&found](CDialog& dialog) {
    for (HWND child = ::FindWindowExW(dialog.m_hWnd, nullptr, nullptr, nullptr); child;
         child = ::FindWindowExW(dialog.m_hWnd, child, nullptr, nullptr))
      found.push_back(Caption(child));
    dialog.EndDialog(IDCANCEL);
  };
  CBrambleDlg dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(found, (std::vector<std::wstring>{
                       L"이미지열기", L"변환", L"가로:", L"세로:", L"비트수:", L"", L"", L"", L"파일 정보",
                       L"이미지를 열어주세요.\nlogo.bmp 파일(800x480 24bit)을 SD 카드에 넣어주세요.", L"모델:",
                       L"버전:", L"QX210", L"V1.02", L"시스템", L"로고 초기화"}));
}

// The first visible window of process `id`; none yet: nullptr.
HWND ShownWindow(DWORD id) {
  std::pair<DWORD, HWND> wanted{id, nullptr};
  ::EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& [processId, shown] = *reinterpret_cast<std::pair<DWORD, HWND>*>(context);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner != processId || !::IsWindowVisible(window)) return TRUE;
        shown = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&wanted));
  return wanted.second;
}

// Started without --play, under a prefix whose desktop is the terminal's 800 x 480
// screen (scripts/test-windows makes it), and left to its own message loop.
TEST(WindowsDialog, StartedByHandItCoversTheScreenAndANormalShowKeepsItMaximized) {
  bramble::test::TempTerminal terminal;
  bramble::test::MakeReadyTerminal(terminal);
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path program = std::filesystem::path(self).parent_path().parent_path() / "bramble.exe";
  std::wstring command = L"\"" + program.wstring() + L"\" --root \"" + terminal.root().wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &started));
  const platform::UniqueHandle process(started.hProcess);
  const platform::UniqueHandle thread(started.hThread);
  // Shown and maximized, within ten seconds.
  HWND shown = nullptr;
  for (int tries = 0; !((shown = ShownWindow(started.dwProcessId)) && ::IsZoomed(shown)) && tries < 200; ++tries) {
    ::Sleep(50);
  }
  ASSERT_NE(shown, nullptr) << "no window of the program is shown";
  // Wine's dialog manager asks for a normal show when its loop first finds no
  // message, a moment no other process sees: asked here too, it is carried out by
  // the program before ShowWindow returns, so a restored dialog shows at once.
  ::ShowWindow(shown, SW_SHOWNORMAL);
  RECT client{};
  POINT topLeft{};
  ::GetClientRect(shown, &client);
  ::ClientToScreen(shown, &topLeft);
  EXPECT_EQ(std::tuple(topLeft.x, topLeft.y, client.right, client.bottom), std::tuple(0, 0, 800, 480));
  EXPECT_TRUE(::IsZoomed(shown));

  ::PostMessageW(shown, WM_CLOSE, 0, 0);  // the dialog answers it as Cancel
  ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace

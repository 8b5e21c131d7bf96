// Message maps and their dispatch, without any window behind them.

#include <gtest/gtest.h>

#include <vector>

#include "platform/cfile.h"
#include "platform/dialog.h"
#include "platform/message_box.h"

namespace {

constexpr int IDC_FIRST = 100;
constexpr int IDC_THROWS = 101;

class BaseWindow : public CWnd {
 public:
  std::vector<std::string> calls;
  void OnFirst() { calls.push_back("base first"); }
  void OnTimer(UINT_PTR id) { calls.push_back("base timer " + std::to_string(id)); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWindow, CWnd)
  ON_BN_CLICKED(IDC_FIRST, &BaseWindow::OnFirst)
  ON_WM_TIMER()
END_MESSAGE_MAP()

class DerivedWindow : public BaseWindow {
 public:
  void OnFirst() { calls.push_back("derived first"); }
  void OnThrows() {
    calls.push_back("before");
    throw CFileException(CFileException::Cause::fileNotFound, 2, CString(u"\\SDMMC DISK\\logo.bin"));
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWindow, BaseWindow)
  ON_BN_CLICKED(IDC_FIRST, &DerivedWindow::OnFirst)
  ON_BN_CLICKED(IDC_THROWS, &DerivedWindow::OnThrows)
END_MESSAGE_MAP()

TEST(MessageMap, TheMostDerivedEntryWinsAndBaseEntriesStillServe) {
  DerivedWindow window;
  window.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FIRST, BN_CLICKED));
  window.SendMessage(WM_TIMER, 30);
  window.SendMessage(WM_COMMAND, MAKEWPARAM(999, BN_CLICKED));  // nobody's: default processing
  EXPECT_EQ(window.calls, (std::vector<std::string>{"derived first", "base timer 30"}));
}

TEST(MessageMap, AFileExceptionLeavingAHandlerIsShownInTheErrorBox) {
  platform::ScopedMessageBoxRecorder boxes;
  DerivedWindow window;
  window.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_THROWS, BN_CLICKED));
  window.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FIRST, BN_CLICKED));  // dispatch goes on
  EXPECT_EQ(window.calls, (std::vector<std::string>{"before", "derived first"}));
  ASSERT_EQ(boxes.texts().size(), 1u);
  const std::u16string text = boxes.texts()[0].str();
  EXPECT_NE(text.find(u"\\SDMMC DISK\\logo.bin"), std::u16string::npos);
}

TEST(MessageMap, WindowsWithoutAToolkitKeepTheirText) {
  CEdit edit;
  edit.SetWindowText(u"V1.02");
  EXPECT_EQ(edit.GetWindowText(), u"V1.02");
  EXPECT_EQ(edit.GetDC(), nullptr);
  EXPECT_EQ(edit.SetTimer(30, 10), 0u);
}

TEST(DialogUnits, TheTemplateFillsTheScreenAndButtonsLandWhereExpected) {
  EXPECT_EQ(platform::UnitsToPixelsX(451), 800);
  EXPECT_EQ(platform::UnitsToPixelsY(299), 480);
  const RECT open = platform::ControlPixels({349, 8, 84, 19});
  EXPECT_EQ(open.left, 619);
  EXPECT_EQ(open.right, 768);
  EXPECT_EQ(open.top, 13);
  EXPECT_EQ(open.bottom, 43);
  const RECT convert = platform::ControlPixels({349, 33, 84, 19});
  EXPECT_EQ(convert.top, 53);
  EXPECT_EQ(convert.bottom, 83);
  const RECT reset = platform::ControlPixels({349, 59, 84, 19});
  EXPECT_EQ(reset.top, 95);
  EXPECT_EQ(reset.bottom, 125);
}

}  // namespace

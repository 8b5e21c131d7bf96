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

TEST(DialogUnits, TheTemplateFillsTheScreenAndButtonsLandWhereExpected) {
  EXPECT_EQ(std::tuple(platform::UnitsToPixelsX(451), platform::UnitsToPixelsY(299)), std::tuple(800, 480));
  // Open image, Convert and Reset logo: {x, y, width, height} in units, then pixels.
  const std::pair<RECT, RECT> buttons[] = {{{349, 8, 84, 19}, {619, 13, 768, 43}},
                                           {{349, 33, 84, 19}, {619, 53, 768, 83}},
                                           {{349, 59, 84, 19}, {619, 95, 768, 125}}};
  for (const auto& [units, pixels] : buttons) {
    const RECT got = platform::ControlPixels(units);
    EXPECT_EQ(std::tuple(got.left, got.top, got.right, got.bottom), std::tuple(pixels.left, pixels.top, pixels.right, pixels.bottom));
  }
}

}  // namespace

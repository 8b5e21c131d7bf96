// The preview drawn on every repaint once an image is open.

#include <gtest/gtest.h>

#include "dialog/messages.h"
#include "platform/gdi.h"
#include "platform/qt/dialog_host.h"
#include "tests/dialog/dialog_harness.h"
#include "tests/support/terminal_setup.h"

namespace {

using namespace bramble::test;
using Numbers = std::tuple<std::u16string, std::u16string, std::u16string>;

constexpr QRgb kLeftColour = 0xFFC02020;
constexpr QRgb kRightColour = 0xFF2040C0;

Numbers Boxes(const CBrambleDlg& dialog) {
  return {dialog.m_ctlWidth.GetWindowText().str(), dialog.m_ctlHeight.GetWindowText().str(),
          dialog.m_ctlBitCount.GetWindowText().str()};
}

TEST(DialogPreview, ShowsNumbersVerdictAndThePictureSqueezedIntoItsRectangle) {
  struct Case {
    BitmapLayout layout;
    Numbers numbers;
    const char16_t* verdict;
  };
  const Case cases[] = {
      {{800, 480, 24}, {u"800", u"480", u"24"}, kMsgUsable},
      {{801, 480, 24}, {u"801", u"480", u"24"}, kMsgNotUsable},
      {{100, 50, 24}, {u"100", u"50", u"24"}, kMsgNotUsable},
      {{800, 480, 32}, {u"800", u"480", u"32"}, kMsgNotUsable},
      {{800, -480, 24}, {u"800", u"-480", u"24"}, kMsgNotUsable},  // stored top row first
      {{.bitCount = 8, .paletteEntries = 256}, {u"800", u"480", u"8"}, kMsgNotUsable},
  };
  for (const Case& c : cases) {
    const int width = c.layout.width;
    SCOPED_TRACE(testing::Message() << width << " x " << c.layout.height << " x " << c.layout.bitCount);
    TempTerminal terminal;
    MakeReadyTerminal(terminal);
    // Left half red, right half blue: where the halves land shows the scaling.
    WriteBitmap(terminal, c.layout, "SDMMC DISK/logo.bmp",
                [width](int x, int) { return (x < width / 2 ? kLeftColour : kRightColour) & 0xFFFFFF; });
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun& run) {
      run.Click(IDC_OPEN_IMAGE);
      EXPECT_EQ(Boxes(dialog), c.numbers);
      EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), c.verdict);
      // Whatever its size, the picture fills the 550 x 350 rectangle at (25, 80).
      const QImage screen = run.Screen();
      const QRgb background = platform::DialogBackground().rgb();
      EXPECT_EQ(std::tuple(screen.pixel(24, 200), screen.pixel(300, 431)), std::tuple(background, background));
      if (c.layout.bitCount == 8) {  // a byte pattern through the colour table
        int drawn = 0;
        for (int x = 30; x < 570; x += 37) drawn += screen.pixel(x, 200) != background;
        EXPECT_GT(drawn, 10);
        return;
      }
      EXPECT_EQ(std::tuple(screen.pixel(26, 81), screen.pixel(298, 429)), std::tuple(kLeftColour, kLeftColour));
      EXPECT_EQ(std::tuple(screen.pixel(302, 81), screen.pixel(574, 429)), std::tuple(kRightColour, kRightColour));
    });
  }
}

TEST(DialogPreview, RepaintReplacesCommandTextsAndShowsAGoneCardAsZeros) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    run.Click(IDC_CONVERT);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgLogoChanged);
    run.Repaint();
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgUsable);

    std::filesystem::remove_all(terminal / "SDMMC DISK");
    run.Repaint();
    EXPECT_EQ(Boxes(dialog), Numbers(u"0", u"0", u"0"));
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgNotUsable);
    EXPECT_EQ(run.Screen().pixel(300, 250), platform::DialogBackground().rgb());
  });
}

TEST(DialogPreview, RepaintsLeaveNoBitmapOrDeviceContextBehind) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  const platform::GdiCounts before = platform::LiveGdiObjects();
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    const platform::GdiCounts afterOne = platform::LiveGdiObjects();
    for (int i = 0; i < 100; ++i) run.Repaint();
    EXPECT_EQ(platform::LiveGdiObjects(), afterOne);
    EXPECT_EQ(afterOne, before);
  });
}

}  // namespace

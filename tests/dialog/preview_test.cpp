// The preview drawn on every repaint once an image is open.

#include <gtest/gtest.h>

#include "dialog/bramble_dlg.h"
#include "tests/support/dialog_run.h"
#include "tests/support/temp_terminal.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
using Numbers = std::tuple<CString, CString, CString>;

constexpr std::uint32_t kBackground = 0xFFECECEC, kLeftColour = 0xFFC02020, kRightColour = 0xFF2040C0;

Numbers Boxes(const CBrambleDlg& d) { return {Text(d.m_ctlWidth), Text(d.m_ctlHeight), Text(d.m_ctlBitCount)}; }

TEST(DialogPreview, ShowsNumbersVerdictAndThePictureSqueezedIntoItsRectangle) {
  struct Case {
    BitmapLayout layout;
    Numbers numbers;
    const char16_t* verdict;
  };
  const Case cases[] = {
      {{800, 480, 24}, {u"800", u"480", u"24"}, text::kUsable},
      {{801, 480, 24}, {u"801", u"480", u"24"}, text::kNotUsable},
      {{100, 50, 24}, {u"100", u"50", u"24"}, text::kNotUsable},
      {{800, 480, 32}, {u"800", u"480", u"32"}, text::kNotUsable},
      {{800, -480, 24}, {u"800", u"480", u"24"}, text::kUsable},  // stored top row first: no sign
      {{.bitCount = 8, .paletteEntries = 256}, {u"800", u"480", u"8"}, text::kNotUsable},
  };
  for (const Case& c : cases) {
    const int width = c.layout.width;
    SCOPED_TRACE(testing::Message() << width << " x " << c.layout.height << " x " << c.layout.bitCount);
    ReadyTerminal terminal;
    // Left half red, right half blue: where the halves land shows the scaling.
    WriteBitmap(terminal, c.layout, "SDMMC DISK/logo.bmp",
                [width](int x, int) { return (x < width / 2 ? kLeftColour : kRightColour) & 0xFFFFFF; });
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun& run) {
      run.Click(IDC_OPEN_IMAGE);
      EXPECT_EQ(std::tuple(Boxes(dialog), Text(dialog.m_ctlMessage)), std::tuple(c.numbers, c.verdict));
      // Whatever its size, the picture fills the 550 x 350 rectangle at (25, 80).
      const auto& screen = run.Screen();
      EXPECT_EQ(std::tuple(screen.At(24, 200), screen.At(300, 430)), std::tuple(kBackground, kBackground));
      if (c.layout.bitCount == 8) return;  // a byte pattern: the bitmap suite holds the decoder to Qt's
      EXPECT_EQ(std::tuple(screen.At(25, 80), screen.At(298, 429)), std::tuple(kLeftColour, kLeftColour));
      EXPECT_EQ(std::tuple(screen.At(302, 80), screen.At(574, 429)), std::tuple(kRightColour, kRightColour));
    });
  }
}

// That a repaint after a command brings the verdict back is in tests/app.
TEST(DialogPreview, RepaintsLeaveNoBitmapOrDeviceContextBehindAndShowAGoneCardAsZeros) {
  ReadyTerminal terminal;
  const auto before = platform::window::LiveGdiObjects();
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    for (int i = 0; i < 100; ++i) run.Repaint();
    EXPECT_EQ(platform::window::LiveGdiObjects(), before);

    std::filesystem::remove_all(terminal / "SDMMC DISK");
    run.Repaint();
    EXPECT_EQ(std::tuple(Boxes(dialog), Text(dialog.m_ctlMessage), run.Screen().At(300, 250)),
              std::tuple(Numbers(u"0", u"0", u"0"), text::kNotUsable, kBackground));
  });
}

}  // namespace

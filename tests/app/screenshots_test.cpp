// The dialog as a user sees it, measured in --play's pictures: every control
// drawn at the pixels of the edge-by-edge rule, and the numbers in the edit boxes
// large enough to read. The pictures are this program's own, of the start, open,
// convert, reset and a bitmap that is not usable, and those of every folder named
// in BRAMBLE_SCREENSHOTS (':'-separated; scripts/test-windows names both hosts').

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <sstream>

#include "tests/support/play_run.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

enum class Drawn { Button, Edit, Group, Label, Message };

struct Control {
  const char* name;
  Drawn drawn;
  int left, top, right, bottom;
};

// The template's rectangles, each edge converted on its own (x × 800 / 451,
// y × 480 / 299, rounded).
constexpr Control kControls[] = {
    {"Open image", Drawn::Button, 619, 13, 768, 43},  {"Convert", Drawn::Button, 619, 53, 768, 83},
    {"Reset logo", Drawn::Button, 619, 95, 768, 125}, {"System", Drawn::Group, 619, 136, 766, 222},
    {"Model", Drawn::Edit, 672, 154, 756, 181},       {"Version", Drawn::Edit, 672, 185, 756, 212},
    {"File info", Drawn::Group, 619, 230, 766, 355},  {"Width", Drawn::Edit, 672, 254, 756, 281},
    {"Height", Drawn::Edit, 672, 287, 756, 315},      {"Bit count", Drawn::Edit, 672, 321, 756, 348},
    {"Model label", Drawn::Label, 633, 157, 669, 170}, {"Version label", Drawn::Label, 633, 189, 665, 202},
    {"Width label", Drawn::Label, 633, 258, 669, 271}, {"Height label", Drawn::Label, 633, 294, 669, 307},
    {"Bit count label", Drawn::Label, 633, 327, 660, 340}, {"Message", Drawn::Message, 57, 19, 575, 63},
};
// Where the frame's top line runs: for a group box through its caption's middle,
// half the 14-pixel line of the 12-pixel dialog font less one below the control's
// top, as the platform draws it.
int FrameTop(const Control& c) { return c.drawn == Drawn::Group ? c.top + 6 : c.top; }

struct Picture {
  QImage image;
  QRgb background;

  // The dialog's own grey differs by host; a frame line or a white inside differ from it.
  bool Marked(int x, int y) const {
    const QRgb pixel = image.pixel(x, y);
    return std::abs(qRed(pixel) - qRed(background)) + std::abs(qGreen(pixel) - qGreen(background)) +
               std::abs(qBlue(pixel) - qBlue(background)) > 18;
  }
  bool Ink(int x, int y) const { return qGray(image.pixel(x, y)) < 128; }

  // The first marked pixel from `from` towards `to` along a row or a column; -1 when none.
  int FirstMarked(int from, int to, int fixed, bool alongRow) const {
    for (int at = from;; at += to > from ? 1 : -1) {
      if (alongRow ? Marked(at, fixed) : Marked(fixed, at)) return at;
      if (at == to) return -1;
    }
  }
  // The rows and columns holding ink inside [left, right) × [top, bottom): {left, top, right, bottom}, empty if none.
  std::array<int, 4> InkBounds(int left, int top, int right, int bottom) const {
    std::array<int, 4> bounds{right, bottom, left, top};
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x)
        if (Ink(x, y))
          bounds = {std::min(bounds[0], x), std::min(bounds[1], y), std::max(bounds[2], x + 1), std::max(bounds[3], y + 1)};
    return bounds;
  }
};

// The rectangle drawn for a framed control, found from outside in through the
// middle of each side: {left, top, right, bottom} with right and bottom exclusive.
std::array<int, 4> DrawnFrame(const Picture& picture, const Control& c) {
  constexpr int kReach = 3;  // less than the 4 pixels between Model and Version
  const int midX = (c.left + c.right) / 2, midY = (c.top + c.bottom) / 2;
  // A group box's top line is found right of its caption.
  const int topX = c.drawn == Drawn::Group ? c.right - 10 : midX;
  return {picture.FirstMarked(c.left - kReach, c.left + kReach, midY, true),
          picture.FirstMarked(FrameTop(c) - kReach, FrameTop(c) + kReach, topX, false),
          picture.FirstMarked(c.right + kReach, c.right - kReach, midY, true) + 1,
          picture.FirstMarked(c.bottom + kReach, c.bottom - kReach, midX, false) + 1};
}

void CheckPicture(const fs::path& file) {
  SCOPED_TRACE(file.string());
  Picture picture{QImage(QString::fromStdString(file.string())), 0};
  ASSERT_EQ(std::tuple(picture.image.width(), picture.image.height()), std::tuple(800, 480));
  picture.background = picture.image.pixel(795, 475);  // below the group boxes, right of the preview
  for (const Control& c : kControls) {
    SCOPED_TRACE(c.name);
    if (c.drawn == Drawn::Label || c.drawn == Drawn::Message) {
      // A static control draws only its text: inside its rectangle, a caption from
      // its left edge. Ink in the band around it would be text the control did not cut.
      const auto [left, top, right, bottom] = picture.InkBounds(c.left - 3, c.top - 3, c.right + 3, c.bottom + 3);
      ASSERT_LT(left, right) << "no text";
      EXPECT_EQ(std::tuple(left >= c.left, top >= c.top, right <= c.right, bottom <= c.bottom),
                std::tuple(true, true, true, true))
          << "text at " << left << "," << top << " - " << right << "," << bottom;
      EXPECT_TRUE(c.drawn != Drawn::Label || left <= c.left + 3) << "caption from " << left;
      continue;
    }
    const std::array<int, 4> drawn = DrawnFrame(picture, c), wanted = {c.left, FrameTop(c), c.right, c.bottom};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(drawn[i], wanted[i], 1) << std::array{"left", "top", "right", "bottom"}[i];
    if (c.drawn != Drawn::Edit) continue;
    // Model and version show in every state; a number shown is at least 8 pixels tall.
    const auto [inkLeft, inkTop, inkRight, inkBottom] = picture.InkBounds(c.left + 3, c.top + 3, c.right - 3, c.bottom - 3);
    if (inkLeft < inkRight) EXPECT_GE(inkBottom - inkTop, 8);
    else EXPECT_TRUE(std::string_view(c.name) != "Model" && std::string_view(c.name) != "Version") << "empty";
  }
}

TEST(Screenshots, EveryControlSitsAtTheEdgeByEdgePixelsAndTheNumbersAreReadable) {
  ReadyTerminal ready, notUsable;
  WriteBitmap(notUsable, {.width = 1024, .height = 768, .bitCount = 32});
  std::vector<fs::path> folders;
  for (const auto& [terminal, steps] : {std::pair(&ready, "open,convert,reset"), std::pair(&notUsable, "open")}) {
    const PlayResult run = Play(*terminal, steps);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    folders.push_back(run.out);
  }
  std::istringstream named(std::getenv("BRAMBLE_SCREENSHOTS") ? std::getenv("BRAMBLE_SCREENSHOTS") : "");
  for (std::string folder; std::getline(named, folder, ':');)
    if (!folder.empty()) folders.emplace_back(folder);
  std::size_t checked = 0;
  for (const fs::path& folder : folders) {
    const std::size_t before = checked;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() != ".png") continue;
      CheckPicture(entry.path());
      ++checked;
    }
    EXPECT_GT(checked, before) << "no pictures in " << folder;
  }
  EXPECT_GE(checked, 6u);
}

}  // namespace

// The program's compiled icon (app/bramble.rc) as the icon loader reads it. The
// dialog template is checked once, as Windows' own dialog manager makes it
// (tests/win32): what Linux makes of it shows in pixels (screenshots_test.cpp).

#include <gtest/gtest.h>

#include "platform/formats/little_endian.h"
#include "platform/framework/afxwin.h"
#include "platform/window/window.h"
#include "tests/support/temp_terminal.h"

// After CFile's seek names: Qt's range-for friends `begin` and `end` would have
// clang call those names shadows.
#include <QBuffer>
#include <QImageReader>

namespace {

using bramble::test::TempTerminal;

TEST(Resources, IconGroup128HasNineImagesThreeSizesAtThreeDepths) {
  const TempTerminal terminal;
  const auto* icon = static_cast<const platform::window::Icon*>(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128)));
  ASSERT_NE(icon, nullptr);
  QByteArray bytes(reinterpret_cast<const char*>(icon->file.data()), static_cast<qsizetype>(icon->file.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "ico");
  const platform::LittleEndianReader directory(icon->file);
  std::vector<std::tuple<int, int, int>> images;
  std::vector<QImage> read;
  for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) {
    read.push_back(reader.read());
    images.emplace_back(read.back().width(), read.back().height(), directory.u16(6 + 16 * i + 6).value_or(0));
  }
  EXPECT_EQ(images, (std::vector<std::tuple<int, int, int>>{{48, 48, 4}, {32, 32, 4}, {16, 16, 4}, {48, 48, 8}, {32, 32, 8},
                                                             {16, 16, 8}, {48, 48, 24}, {32, 32, 24}, {16, 16, 24}}));
  // A transparent corner and an opaque middle: the mask was applied.
  ASSERT_FALSE(read.empty());
  EXPECT_EQ(std::tuple(qAlpha(read.front().pixel(0, 0)), qAlpha(read.front().pixel(24, 24))), std::tuple(0, 0xFF));
}

}  // namespace

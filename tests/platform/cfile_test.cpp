#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <vector>

#include "platform/cfile.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::OpenDescriptorCount;
using bramble::test::TempTerminal;
using Cause = CFileException::Cause;

TEST(CFile, ReadsInPiecesShortAtTheEndAndNothingAfter) {
  TempTerminal terminal;
  const std::vector<std::byte> content = bramble::test::PatternBytes(700);
  terminal.Write("SDMMC DISK/LOGO.BIN", content);

  CFile file;
  ASSERT_TRUE(file.Open(u"\\SDMMC DISK\\logo.bin", CFile::modeRead));
  EXPECT_EQ(file.GetLength(), 700u);
  std::array<std::byte, 512> buffer;
  buffer.fill(std::byte{0xEE});
  EXPECT_EQ(file.Read(buffer.data(), 512), 512u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), content.begin()));
  EXPECT_EQ(file.Read(buffer.data(), 512), 188u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 188, content.begin() + 512));
  EXPECT_EQ(buffer[188], content[188]);  // the rest is left as it was
  EXPECT_EQ(file.Read(buffer.data(), 512), 0u);

  EXPECT_EQ(file.Seek(-10, CFile::end), 690u);
  EXPECT_EQ(file.Seek(4, CFile::current), 694u);
  EXPECT_EQ(file.Read(buffer.data(), 512), 6u);
  EXPECT_EQ(buffer[0], content[694]);
  EXPECT_EQ(file.Seek(0, CFile::begin), 0u);
  EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
}

TEST(CFile, FailedOpenShowsOnlyWhenTheFileIsUsed) {
  TempTerminal terminal;
  terminal.MakeCard();
  CFile file;
  CFileException error;
  EXPECT_FALSE(file.Open(u"\\SDMMC DISK\\logo.bin", CFile::modeRead, &error));
  EXPECT_EQ(std::tuple(error.m_cause, error.m_strFileName), std::tuple(Cause::fileNotFound, CString(u"\\SDMMC DISK\\logo.bin")));
  try {
    file.GetLength();
    FAIL() << "no exception";
  } catch (const CException& thrown) {
    EXPECT_EQ(thrown.GetErrorMessage(), u"\\SDMMC DISK\\logo.bin was not found.");
  }
  std::byte byte{};
  EXPECT_THROW(file.Read(&byte, 1), CFileException);
  EXPECT_THROW(file.Seek(0, CFile::begin), CFileException);
  file.Close();
  file.Close();

  EXPECT_FALSE(file.Open(u"\\SDMMC DISK\\", CFile::modeRead, &error));
  EXPECT_EQ(error.m_cause, Cause::accessDenied);
  terminal.WriteText("SDMMC DISK/logo.bin", "x");
  EXPECT_FALSE(file.Open(u"\\SDMMC DISK\\logo.bin", 0x0001 /* modeWrite */, &error));
  EXPECT_EQ(error.m_cause, Cause::accessDenied);
}

TEST(CFile, ReadErrorThrowsNamingTheFile) {
  TempTerminal terminal;
  terminal.MakeCard();
  // Reading this process's memory at address 0 is an I/O error on Linux.
  std::filesystem::create_symlink("/proc/self/mem", terminal / "SDMMC DISK/logo.bin");
  CFile file;
  ASSERT_TRUE(file.Open(u"\\SDMMC DISK\\logo.bin", CFile::modeRead));
  std::array<std::byte, 512> buffer{};
  try {
    file.Read(buffer.data(), 512);
    FAIL() << "no exception";
  } catch (const CFileException& thrown) {
    EXPECT_EQ(thrown.m_cause, Cause::hardIO);
    EXPECT_EQ(thrown.GetErrorMessage(), u"An error occurred while reading \\SDMMC DISK\\logo.bin.");
  }
}

TEST(CFile, FileIsClosedByCloseAndByTheDestructor) {
  TempTerminal terminal;
  terminal.WriteText("SDMMC DISK/logo.bin", "abc");
  const int before = OpenDescriptorCount();
  {
    CFile file;
    ASSERT_TRUE(file.Open(u"\\SDMMC DISK\\logo.bin", CFile::modeRead));
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
    file.Close();
    EXPECT_EQ(OpenDescriptorCount(), before);
    ASSERT_TRUE(file.OpenHostFile(terminal / "SDMMC DISK/logo.bin", CFile::modeRead | CFile::shareExclusive));
    EXPECT_EQ(file.GetLength(), 3u);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(CFileException, EveryCauseGetsItsOwnSentenceNamingTheFile) {
  std::vector<CString> seen;
  for (int c = 0; c <= static_cast<int>(Cause::endOfFile); ++c) {
    const CString message = CFileException(static_cast<Cause>(c), 0, u"\\A\\b.bin").GetErrorMessage();
    EXPECT_NE(message.str().find(u"\\A\\b.bin"), std::u16string::npos) << message.ToUtf8();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), message), 0) << message.ToUtf8();
    seen.push_back(message);
  }
  EXPECT_EQ(CFileException(Cause::fileNotFound, 0, u"").GetErrorMessage(), u"An unnamed file was not found.");
}

}  // namespace

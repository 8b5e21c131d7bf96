#pragma once
// Runs bramble-logo's commands in-process and makes pictures with ImageMagick.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/bramble_logo/logo_tool.h"

namespace logo_tool_test {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

inline Outcome Tool(const std::vector<std::string>& args) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int code = logo_tool::RunBrambleLogo(args);
  std::fflush(nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  return {code, out, testing::internal::GetCapturedStderr()};
}

inline std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

inline void Magick(const std::string& arguments) {
  ASSERT_EQ(std::system(("convert " + arguments).c_str()), 0) << "ImageMagick's convert is needed: " << arguments;
}

// Leftovers of outputs that were never completed.
inline long TemporaryFiles(const std::filesystem::path& folder) {
  return std::ranges::count_if(std::filesystem::directory_iterator(folder), [](const auto& entry) {
    return entry.path().filename().string().find(".tmp-") != std::string::npos;
  });
}

}  // namespace logo_tool_test

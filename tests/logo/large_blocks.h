#pragma once
// The test program's own operator new counts the live heap blocks of a file's size
// and can refuse them: tests see how many file buffers the logo code holds, and
// what it does when it can get none.

#include <cstddef>

namespace logo_test {

inline constexpr std::size_t kLargeBlockBytes = 1'000'000;

std::size_t LiveLargeBlocks();
std::size_t PeakLargeBlocks();  // since the last ResetLargeBlockPeak
void ResetLargeBlockPeak();
void RefuseLargeBlocks(bool refuse);

}  // namespace logo_test

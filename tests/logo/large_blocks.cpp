#include "tests/logo/large_blocks.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace logo_test {
namespace {

// Each block carries its size in front, so the unsized delete can count it.
constexpr std::size_t kPrefix = alignof(std::max_align_t);
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<bool> g_refuse{false};

void* Allocate(std::size_t size) noexcept {
  const bool large = size >= kLargeBlockBytes;
  if ((large && g_refuse) || size > SIZE_MAX - kPrefix) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kPrefix));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  if (large) {
    const std::size_t live = ++g_live;
    std::size_t peak = g_peak;
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {}
  }
  return block + kPrefix;
}

void Release(void* pointer) noexcept {
  if (!pointer) return;
  auto* block = static_cast<unsigned char*>(pointer) - kPrefix;
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  if (size >= kLargeBlockBytes) --g_live;
  std::free(block);
}

void* AllocateOrThrow(std::size_t size) {
  if (void* pointer = Allocate(size)) return pointer;
  throw std::bad_alloc();
}

}  // namespace

std::size_t LiveLargeBlocks() { return g_live; }
std::size_t PeakLargeBlocks() { return g_peak; }
void ResetLargeBlockPeak() { g_peak = g_live.load(); }
void RefuseLargeBlocks(bool refuse) { g_refuse = refuse; }

}  // namespace logo_test

void* operator new(std::size_t size) { return logo_test::AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return logo_test::AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return logo_test::Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return logo_test::Allocate(size); }
void operator delete(void* pointer) noexcept { logo_test::Release(pointer); }
void operator delete[](void* pointer) noexcept { logo_test::Release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { logo_test::Release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { logo_test::Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { logo_test::Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { logo_test::Release(pointer); }

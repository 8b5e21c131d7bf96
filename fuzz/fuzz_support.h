#pragma once
// What the fuzz targets share: a terminal folder of their own under /tmp, made
// once per process, and a way to put the fuzzer's bytes into a file of it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace bramble::fuzz {

// Makes a fresh terminal folder named after the target, with an empty card,
// resident flash and driver folder, and installs it with the debug output
// silenced; it is removed when the process exits normally. Call it from
// LLVMFuzzerInitialize.
const std::filesystem::path& MakeTerminal(std::string_view target);

// Replaces the host file with exactly these bytes (its folder must exist).
void WriteHostFile(const std::filesystem::path& path, std::span<const std::byte> bytes);

inline std::span<const std::byte> AsBytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(data), size};
}

// A broken promise of the code under test: the fuzzer keeps the input that did it.
[[noreturn]] void Fail(const char* what);

inline void Require(bool holds, const char* what) { if (!holds) Fail(what); }

}  // namespace bramble::fuzz

#pragma once
// The program's compiled resources (app/bramble.rc), built into the program for
// the hosts whose operating system has no resource loader of its own.

#include <cstddef>
#include <span>

namespace app {

std::span<const std::byte> CompiledResources();

}  // namespace app

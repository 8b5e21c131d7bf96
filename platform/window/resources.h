#pragma once
// The program's resources, from the compiled resource file (.res) of the window
// system's setup: what FindResourceW, LoadResource and LoadIconW read.

#include <cstddef>
#include <span>

namespace platform::window {

// The bytes from `at` to the end of the resource that holds it; empty when no
// resource does. A dialog template is handed over by address alone; this keeps
// reading it inside its resource.
std::span<const std::byte> ResourceBytesFrom(const void* at);

}  // namespace platform::window

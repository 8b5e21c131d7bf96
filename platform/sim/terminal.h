#pragma once
// The terminal's storage inside the terminal folder. Terminal paths are absolute
// with backslashes ("\SDMMC DISK\logo.bmp"); they map below the folder, matched
// case-insensitively as the terminal's file systems do, and never leave it.

#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/api/storage_paths.h"
#include "platform/text/wide_text.h"
#include "platform/sim/host_io.h"

namespace platform {

// The terminal folder of the installed host.
const std::filesystem::path& TerminalRoot();
// --root DIR, else $BRAMBLE_ROOT, else ./terminal.
std::filesystem::path ChooseTerminalRoot(const std::optional<std::filesystem::path>& option);

// Whether the name is a terminal path at all: absolute, with one leading backslash.
bool IsTerminalPath(WStringView path);

// The host path of an existing file or folder, or nothing when the terminal path
// does not lead to one. Then `why` tells "not there" (ENOENT: the last component
// is missing; ENOTDIR: a folder on the way is) from "could not be looked at" (the
// host's error, such as EIO). A path that is no terminal path or climbs out of
// the folder is not there.
std::optional<std::filesystem::path> FindTerminalPath(WStringView terminalPath, std::error_code* why = nullptr);

// The host path at which to create or replace the file named by the terminal
// path: its folder must exist; an existing entry is matched case-insensitively,
// a new one takes the case given. `why` as for FindTerminalPath.
std::optional<std::filesystem::path> CreatableTerminalPath(WStringView terminalPath, std::error_code* why = nullptr);

// One program per terminal: the terminal folder `root` is claimed by the lock of
// root/bramble.lock (HostIo::Lock), held for as long as the returned file is
// open, on either host. The claimant writes its process id into the file. Nothing
// is held unless `result` says kHeld; a busy claim changes nothing in the folder.
HostIo ClaimTerminal(const std::filesystem::path& root, HostIo::LockResult* result);
// The file whose lock is the claim: root/bramble.lock.
std::filesystem::path TerminalClaimFile(const std::filesystem::path& root);
// The process id that the program holding `root` wrote, when there is one.
std::optional<unsigned long> TerminalClaimant(const std::filesystem::path& root);

}  // namespace platform

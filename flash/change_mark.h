#pragma once
// The mark of a logo change that has not completed,
// "\ResidentFlash\System\logo.pending": written and flushed before the first byte
// of a change, removed only once the flash writer has reported success. An
// interruption anywhere between (a power cut, a killed program, an I/O error)
// shows at the next start, whichever program made the change.

#include "platform/framework/afxwin.h"

namespace flash {

// True when the mark is on storage; false when it could not be kept, and then
// nothing of it is left behind.
bool MarkChangePending();
// True when the mark is gone for good: deleted durably, or not there.
bool ClearChangePending();
// Whether the mark may be there: any answer but "not found" counts as a mark,
// since a lookup that failed cannot tell that no change is pending.
bool ChangeMayBePending();

// Deletes `path`: true when the file is gone, deleted or found missing in its
// folder. A folder that is not there (a card that was taken out) tells nothing
// of the file, and neither does an error.
bool RemoveFileIfPresent(const WCHAR* path);

}  // namespace flash

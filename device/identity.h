#pragma once
// Which terminal the utility runs on: the model name from the registry and the
// system version from the first line of the system information file. The dialog
// hands in the members they fill (m_strModelName, m_strSystemVersion, m_ctlVersion).

#include "platform/framework/afxwin.h"

namespace device {

// Reads "ModelName" under HKEY_LOCAL_MACHINE "\Platform\OS". The model name keeps its
// value when the key or the value cannot be read. False when the registry could
// not be read at all (an I/O error, say): unlike a missing key or value, that
// tells nothing of the model, which then may be a listed one.
bool CheckLimitedFunction(CString& modelName);

// Sets the version to "-", then to the first line of "\ResidentFlash\System\info.txt"
// and shows it in the version box. A missing file is reported in a message box.
void ReadSystemInfo(CString& systemVersion, CWnd& versionBox);

}  // namespace device

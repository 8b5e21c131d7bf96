#pragma once
// The framework, as the system's code includes it: strings, windows and dialogs,
// device contexts, files, the terminal's storage, the application object and the
// host, over the operating-system names of platform/api.

#include "platform/api/windows_api.h"
#include "platform/framework/cdc.h"
#include "platform/framework/cfile.h"
#include "platform/framework/cstring.h"
#include "platform/framework/host.h"
#include "platform/framework/storage.h"
#include "platform/framework/winapp.h"
#include "platform/framework/wnd.h"

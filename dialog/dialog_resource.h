#pragma once

#include "platform/dialog_template.h"

// Dialog resource 102: the full-screen logo dialog, in Korean.
const platform::DialogTemplate& BrambleDialogTemplate();

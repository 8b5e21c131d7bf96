// Resource and control identifiers of the program, read by the C++ code and by
// the resource compiler. The layout itself is in app/bramble.rc.
#pragma once

#define IDD_BRAMBLE_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_OPEN_IMAGE 1000
#define IDC_CONVERT 1001
#define IDC_RESET_LOGO 1002
#define IDC_WIDTH 1003
#define IDC_BIT_COUNT 1004
#define IDC_HEIGHT 1005
#define IDC_MODEL 1006
#define IDC_VERSION 1008
#define IDC_MESSAGE 1012

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#pragma once
// Resource and control identifiers of the program.

inline constexpr int IDD_BRAMBLE_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_OPEN_IMAGE = 1000;
inline constexpr int IDC_CONVERT = 1001;
inline constexpr int IDC_RESET_LOGO = 1002;
inline constexpr int IDC_WIDTH = 1003;
inline constexpr int IDC_BIT_COUNT = 1004;
inline constexpr int IDC_HEIGHT = 1005;
inline constexpr int IDC_MODEL = 1006;
inline constexpr int IDC_VERSION = 1008;
inline constexpr int IDC_MESSAGE = 1012;

#pragma once
// Every text the message line shows but the one it starts with, which is the
// dialog template's. A "\n" is a line feed; trailing spaces belong to the texts.

#include "platform/api/windows_api.h"

inline constexpr const WCHAR* kMsgAlreadyApplied =
    _T("이미 새로운 로고가 적용되었습니다. \n 로고를 다시 바꾸시려면 [이미지열기] 버튼을 터치하시고 \n 현재 로고를 사용하시려면 SD 카드 제거 후 재부팅하세요.");
inline constexpr const WCHAR* kMsgLogoChangeNotCompleted = _T("로고 변경이 완료되지 않았습니다. \n 다시 시도해 주세요. ");
inline constexpr const WCHAR* kMsgNoLogoBmp = _T("SD 카드에 logo.bmp가 없습니다. \n 이미지 이름과 경로를 확인해 주세요.");
inline constexpr const WCHAR* kMsgUsable = _T("해당 이미지는 로고로 사용할 수 있습니다.  ");
inline constexpr const WCHAR* kMsgNotUsable = _T("해당 이미지는 로고로 사용할 수 없습니다. ");
inline constexpr const WCHAR* kMsgNoImage = _T("이미지가 없습니다. \n\n 이미지를 열어주세요.");
inline constexpr const WCHAR* kMsgCannotConvert = _T("변환할 수 없는 파일입니다. \n\n 파일을 확인 후 다시 시도해 주세요.");
inline constexpr const WCHAR* kMsgConverting = _T("로고를 변환 중입니다. \n 단말기를 끄지 마세요.");
inline constexpr const WCHAR* kMsgLogoChanged = _T("로고를 변경하였습니다.\n SD카드를 제거하지 말고 단말기를 재부팅하세요. ");
inline constexpr const WCHAR* kMsgLogoChangeFailed = _T("로고를 변경하지 못했습니다. \n 파일을 확인 후 다시 시도해 주세요.");
inline constexpr const WCHAR* kMsgCannotReset = _T("로고 초기화 되지 않는 단말기입니다.");
inline constexpr const WCHAR* kMsgNoSdCard = _T("SD 카드가 없습니다. \n 확인 후 재시도하세요. ");
inline constexpr const WCHAR* kMsgConvertingDefault = _T("기본 로고로 변환 중입니다. \n 단말기를 끄지 마세요.");
inline constexpr const WCHAR* kMsgDefaultRestored = _T("기본 로고로 변경하였습니다.\n SD카드를 제거하지 말고 단말기를 재부팅하세요. ");
inline constexpr const WCHAR* kMsgDefaultRestoreFailed = _T("기본 로고로 변경하지 못했습니다. \n 확인 후 재시도하세요. ");

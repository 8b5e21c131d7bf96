#pragma once
// The message line's texts as the terminal's users read them, written out here
// once for every test, so that a changed text in the program shows as a failure.

namespace bramble::test::text {

inline constexpr const char16_t* kOpenImagePrompt =
    u"이미지를 열어주세요.\nlogo.bmp 파일(800x480 24bit)을 SD 카드에 넣어주세요.";
inline constexpr const char16_t* kAlreadyApplied =
    u"이미 새로운 로고가 적용되었습니다. \n 로고를 다시 바꾸시려면 [이미지열기] 버튼을 터치하시고 \n 현재 로고를 "
    u"사용하시려면 SD 카드 제거 후 재부팅하세요.";
inline constexpr const char16_t* kLogoChangeNotCompleted = u"로고 변경이 완료되지 않았습니다. \n 다시 시도해 주세요. ";
inline constexpr const char16_t* kNoLogoBmp = u"SD 카드에 logo.bmp가 없습니다. \n 이미지 이름과 경로를 확인해 주세요.";
inline constexpr const char16_t* kUsable = u"해당 이미지는 로고로 사용할 수 있습니다.  ";
inline constexpr const char16_t* kNotUsable = u"해당 이미지는 로고로 사용할 수 없습니다. ";
inline constexpr const char16_t* kNoImage = u"이미지가 없습니다. \n\n 이미지를 열어주세요.";
inline constexpr const char16_t* kCannotConvert = u"변환할 수 없는 파일입니다. \n\n 파일을 확인 후 다시 시도해 주세요.";
inline constexpr const char16_t* kConverting = u"로고를 변환 중입니다. \n 단말기를 끄지 마세요.";
inline constexpr const char16_t* kLogoChanged = u"로고를 변경하였습니다.\n SD카드를 제거하지 말고 단말기를 재부팅하세요. ";
inline constexpr const char16_t* kLogoChangeFailed = u"로고를 변경하지 못했습니다. \n 파일을 확인 후 다시 시도해 주세요.";
inline constexpr const char16_t* kCannotReset = u"로고 초기화 되지 않는 단말기입니다.";
inline constexpr const char16_t* kNoSdCard = u"SD 카드가 없습니다. \n 확인 후 재시도하세요. ";
inline constexpr const char16_t* kDefaultRestored = u"기본 로고로 변경하였습니다.\n SD카드를 제거하지 말고 단말기를 재부팅하세요. ";
inline constexpr const char16_t* kDefaultRestoreFailed = u"기본 로고로 변경하지 못했습니다. \n 확인 후 재시도하세요. ";

}  // namespace bramble::test::text

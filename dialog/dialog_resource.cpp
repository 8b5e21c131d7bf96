#include "dialog/dialog_resource.h"

#include <array>

#include "dialog/messages.h"
#include "dialog/resource.h"

namespace {

using platform::ControlKind;
using platform::DialogControl;

constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kGroup = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
constexpr DWORD kMessage = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER;

// In tab order. Rectangles: x, y, width, height in dialog units.
constexpr std::array<DialogControl, 16> kControls = {{
    {IDC_OPEN_IMAGE, ControlKind::PushButton, kButton, u"이미지열기", {349, 8, 84, 19}},
    {IDC_CONVERT, ControlKind::PushButton, kButton, u"변환", {349, 33, 84, 19}},
    {IDC_STATIC, ControlKind::Label, kLabel, u"가로:", {357, 161, 20, 8}},
    {IDC_STATIC, ControlKind::Label, kLabel, u"세로:", {357, 183, 20, 8}},
    {IDC_STATIC, ControlKind::Label, kLabel, u"비트수:", {357, 204, 15, 8}},
    {IDC_WIDTH, ControlKind::Edit, kEdit, u"", {379, 158, 47, 17}},
    {IDC_BIT_COUNT, ControlKind::Edit, kEdit, u"", {379, 200, 47, 17}},
    {IDC_HEIGHT, ControlKind::Edit, kEdit, u"", {379, 179, 47, 17}},
    {IDC_STATIC, ControlKind::GroupBox, kGroup, u"파일 정보", {349, 143, 83, 78}},
    {IDC_MESSAGE, ControlKind::StaticText, kMessage, kMsgOpenImagePrompt, {32, 12, 292, 27}},
    {IDC_STATIC, ControlKind::Label, kLabel, u"모델:", {357, 98, 20, 8}},
    {IDC_STATIC, ControlKind::Label, kLabel, u"버전:", {357, 118, 18, 8}},
    {IDC_MODEL, ControlKind::Edit, kEdit, u"", {379, 96, 47, 17}},
    {IDC_VERSION, ControlKind::Edit, kEdit, u"", {379, 115, 47, 17}},
    {IDC_STATIC, ControlKind::GroupBox, kGroup, u"시스템", {349, 85, 83, 53}},
    {IDC_RESET_LOGO, ControlKind::PushButton, kButton, u"로고 초기화", {349, 59, 84, 19}},
}};

constexpr std::uint16_t kLanguageKorean = 0x0412;

}  // namespace

const platform::DialogTemplate& BrambleDialogTemplate() {
  static const platform::DialogTemplate dialogTemplate{
      IDD_BRAMBLE_DIALOG,
      kLanguageKorean,
      WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
      WS_EX_APPWINDOW | WS_EX_CAPTIONOKBTN,
      {0, 0, 451, 299},
      u"",
      u"MS Shell Dlg",
      9,
      kControls,
  };
  return dialogTemplate;
}

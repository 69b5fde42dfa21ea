// The converter's resources: dialog template 102, string 101 and icon 128.
#include "converter/app/app_resources.h"

#include <afxwin.h>

#include "converter/app/resource.h"
#include "velmi_platform.h"

namespace {

const char* const kBgmBitrates[] = {"16/8kbit",    "32/16kbit",   "48/24kbit",   "64/32kbit",  "80/40kbit",
                                    "96/48kbit",   "112/56kbit",  "128/64kbit",  "160/80kbit", "192/96kbit",
                                    "224/112kbit", "256/128kbit", "320/160kbit", nullptr};
const char* const kVoiceBitrates[] = {"8kbit",  "16kbit", "24kbit", "32kbit",  "40kbit",  "48kbit",  "56kbit",
                                      "64kbit", "80kbit", "96kbit", "112kbit", "128kbit", "160kbit", nullptr};
const char* const kRates[] = {"22.05kHz", "44.10kHz", nullptr};
const char* const kScreens[] = {"320*240", "640*480", nullptr};
const char* const kQualities[] = {"\x8D\x82\x89\xE6\x8E\xBF(100)",         // 高画質(100)
                                  "\x95W\x8F\x80(90)",                     // 標準(90)
                                  "\x92\xE1\x89\xE6\x8E\xBF(80)",          // 低画質(80)
                                  "\x8D\xC5\x92\xE1\x89\xE6\x8E\xBF(70)",  // 最低画質(70)
                                  nullptr};

using K = VelmiControlKind;
constexpr DWORD kEditStyle = ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kComboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

const VelmiControlTemplate kControls[] = {
    {K::Edit, IDC_SOURCE_EDIT, nullptr, 4, 5, 199, 14, kEditStyle, WS_EX_ACCEPTFILES, nullptr},
    {K::PushButton, IDC_BROWSE, "\x8EQ\x8F\xC6(&F)", 209, 5, 35, 14, WS_TABSTOP, 0, nullptr},  // 参照(&F)
    {K::DefPushButton, IDC_START, "\x8AJ\x8En(&S)", 209, 28, 35, 34, WS_TABSTOP, 0, nullptr},  // 開始(&S)
    {K::GroupBox, -1,
     "\x82"
     "a\x82"
     "f\x82l\x90\xDD\x92\xE8",
     4, 23, 199, 40, 0, 0, nullptr},  // ＢＧＭ設定
    {K::Label, -1, "BIT", 8, 42, 0, 8, 0, 0, nullptr},
    {K::ComboList, IDC_BGM_BITRATE, nullptr, 23, 39, 65, 198, kComboStyle, 0, kBgmBitrates},
    {K::Label, -1, "RATE", 93, 42, 0, 8, 0, 0, nullptr},
    {K::ComboList, IDC_BGM_RATE, nullptr, 117, 39, 42, 128, kComboStyle, 0, kRates},
    {K::CheckBox, IDC_STEREO, "\xBD\xC3\xDA\xB5", 165, 41, 30, 10, WS_TABSTOP, 0, nullptr},  // ｽﾃﾚｵ
    // 音声設定(モノラル)
    {K::GroupBox, -1, "\x89\xB9\x90\xBA\x90\xDD\x92\xE8(\x83\x82\x83m\x83\x89\x83\x8B)", 4, 69, 171, 40, 0, 0, nullptr},
    {K::Label, -1, "BIT", 8, 88, 0, 8, 0, 0, nullptr},
    {K::ComboList, IDC_VOICE_BITRATE, nullptr, 23, 85, 65, 198, kComboStyle, 0, kVoiceBitrates},
    {K::Label, -1, "RATE", 93, 88, 0, 8, 0, 0, nullptr},
    {K::ComboList, IDC_VOICE_RATE, nullptr, 116, 85, 43, 128, kComboStyle, 0, kRates},
    {K::Label, -1, "\x89\xE6\x96\xCA", 181, 75, 0, 8, 0, 0, nullptr},  // 画面
    {K::ComboList, IDC_SCREEN, nullptr, 201, 72, 44, 115, kComboStyle, 0, kScreens},
    {K::Label, -1, "\x89\xE6\x8E\xBF", 181, 93, 0, 8, 0, 0, nullptr},  // 画質
    {K::ComboList, IDC_QUALITY, nullptr, 201, 90, 44, 113, kComboStyle, 0, kQualities},
    // 画像＆シナリオ, ＢＧＭ＆効果音, 音声
    {K::CheckBox, IDC_DO_PICTURES, "\x89\xE6\x91\x9C\x81\x95\x83V\x83i\x83\x8A\x83I", 181, 109, 61, 10, WS_TABSTOP, 0,
     nullptr},
    {K::CheckBox, IDC_DO_MUSIC,
     "\x82"
     "a\x82"
     "f\x82l\x81\x95\x8C\xF8\x89\xCA\x89\xB9",
     181, 123, 60, 10, WS_TABSTOP, 0, nullptr},
    {K::CheckBox, IDC_DO_VOICES, "\x89\xB9\x90\xBA", 181, 136, 30, 10, WS_TABSTOP, 0, nullptr},
    {K::GroupBox, -1, "\x83G\x83\x93\x83R\x81[\x83_\x91I\x91\xF0", 4, 113, 171, 33, 0, 0, nullptr},  // エンコーダ選択
    {K::RadioButton, IDC_ENCODER_MP3, "GOGO.DLL[MP3]", 15, 128, 64, 10, WS_GROUP | WS_TABSTOP, 0, nullptr},
    {K::RadioButton, IDC_ENCODER_OGG, "OGGENC.DLL[OGG]", 90, 128, 74, 10, 0, 0, nullptr},
    // [OGG]の場合は[32/16kbit]以下は[48/24kbit]に強制設定。
    {K::Label, IDC_OGG_NOTE,
     "[OGG]\x82\xCC\x8F\xEA\x8D\x87\x82\xCD[32/16kbit]\x88\xC8\x89\xBA\x82\xCD[48/24kbit]\x82\xC9\x8B\xAD\x90\xA7"
     "\x90\xDD\x92\xE8\x81"
     "B",
     4, 152, 240, 8, WS_GROUP, 0, nullptr},
    {K::Label, IDC_GOGO_VERSION, nullptr, 6, 165, 113, 8, 0, 0, nullptr},
    {K::Label, IDC_OGGENC_VERSION, nullptr, 125, 165, 118, 8, 0, 0, nullptr},
    {K::Label, IDC_PROGRESS, nullptr, 6, 179, 238, 8, 0, 0, nullptr},
};

const VelmiDialogTemplate kDialog = {
    // convVelmi[ver.1.01]Ｑ．Ｒ．Ⅱ専用コンバータ
    "convVelmi[ver.1.01]\x82p\x81"
    "D\x82q\x81"
    "D\x87U\x90\xEA\x97p\x83R\x83\x93\x83o\x81[\x83^",
    "\x82l\x82r \x82o\x83S\x83V\x83"
    "b\x83N",  // ＭＳ Ｐゴシック
    9,
    251,
    193,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    WS_EX_APPWINDOW,
    kControls,
    int(sizeof kControls / sizeof kControls[0]),
};

// convVelmi のﾊﾞｰｼﾞｮﾝ情報(&A)...
const char kAboutItem[] = "convVelmi \x82\xCC\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1(&A)...";

// The program's icon: a blue tile with a light arrow from a big screen to a
// small one.
const DWORD* IconPixels() {
  static DWORD px[32 * 32];
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      DWORD c = 0xFF2050A0;
      bool edge = x == 0 || y == 0 || x == 31 || y == 31;
      bool big = x >= 3 && x <= 15 && y >= 6 && y <= 18 && (x == 3 || x == 15 || y == 6 || y == 18);
      bool small = x >= 21 && x <= 28 && y >= 16 && y <= 27 && (x == 21 || x == 28 || y == 16 || y == 27);
      bool arrow = (y == 22 && x >= 9 && x <= 19) || (x == 9 && y >= 18 && y <= 22) ||
                   (x >= 17 && x <= 19 && y >= 22 - (19 - x) && y <= 22 + (19 - x));
      if (edge) c = 0xFF103060;
      if (big || small) c = 0xFFFFFFFF;
      if (arrow) c = 0xFFFFD040;
      px[y * 32 + x] = c;
    }
  return px;
}
const VelmiIconImage kIcon = {32, 32, IconPixels()};

}  // namespace

void RegisterConverterAppResources() {
  static const bool registered = [] {
    VelmiRegisterResource(VELMI_RT_DIALOG, MAKEINTRESOURCEA(IDD_CONVVELMI_DIALOG), &kDialog, sizeof kDialog);
    VelmiRegisterResource(VELMI_RT_STRING, MAKEINTRESOURCEA(IDS_ABOUTBOX), kAboutItem, sizeof kAboutItem);
    VelmiRegisterResource(VELMI_RT_ICON, MAKEINTRESOURCEA(IDR_MAINFRAME), &kIcon, sizeof kIcon);
    return true;
  }();
  (void)registered;
}

#include <velmi_device.h>
#include <velmi_platform.h>

#include <iterator>
#include <string>

#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/app/menu_commands.h"
#include "player/core/font_list.h"
#include "player/menu/popup_menu.h"

namespace {

// The fifteen characters of the save icons, the system voices and the
// per-character voice switches, Shift-JIS, in the order of the first two.
constexpr int kCharacters = 15;
constexpr const char* kCharacterNames[kCharacters] = {
    "\x9e\xbe\x8c\xb4\x83\x94\x83\x46\x83\x8b\x83\x7e",          // 0 楡原ヴェルミ
    "\x9e\xbe\x8c\xb4\x83\x68\x83\x94\x83\x40",                  // 1 楡原ドヴァ
    "\x8f\xc9\x93\xb0\x83\x74\x83\x46\x83\x6a\x83\x89",          // 2 硝堂フェニラ
    "\x92\xd1\x92\x4a\x83\x8b\x83\x70",                          // 3 柘谷ルパ
    "\x91\x68\x96\x46\x83\x78\x83\x8a\x83\x54",                  // 4 蘇芳ベリサ
    "\x96\xb8\x96\xd8\x83\x49\x83\x8b\x83\x45\x83\x46",          // 5 椋木オルウェ
    "\x95\x41\x90\x58\x83\x45\x83\x46\x83\x93\x83\x89",          // 6 柊森ウェンラ
    "\xea\x49\x96\xec\x83\x8b\x83\x8f",                          // 7 鶫野ルワ
    "\x8e\xc2\x95\xd3\x83\x47\x83\x8b\x83\x94\x83\x40\x83\x93",  // 8 篠辺エルヴァン
    "\x83\x41\x81\x5b\x83\x68\x83\x45\x83\x42\x83\x93",          // 9 アードウィン
    "\x8e\xe0\x8d\x5d\x83\x6e\x83\x68\x83\x8a\x83\x4e",          // 10 錫江ハドリク
    "\x93\xc9\x90\xa3\x83\x77\x83\x58\x83\x67\x83\x8a",          // 11 橡瀬ヘストリ
    "\x8f\xaa\x91\xd2\x83\x43\x83\x74\x83\x40",                  // 12 宵待イファ
    "\x83\xc4\x81\x69\x83\x5b\x81\x5b\x83\x5e\x81\x6a",          // 13 ζ（ゼータ）
    "\xe0\x59\x90\xec\x83\x4a\x83\x8b\x83\x94\x83\x40",          // 14 澪川カルヴァ
};

const MenuTreeEntry kTree[] = {
    {0, kMenuSubmenu, 0, "\xdb\xb0\xc4\xde", kMenuEnabled},                                          // ﾛｰﾄﾞ
    {1, kMenuCommand, kMenuLoadFirst, "LOAD_001", kMenuEnabled},                                     //   LOAD_001
    {1, kMenuCommand, kMenuLoadFirst + 1, "LOAD_002", kMenuEnabled},                                 //   LOAD_002
    {1, kMenuCommand, kMenuLoadFirst + 2, "LOAD_003", kMenuEnabled},                                 //   LOAD_003
    {1, kMenuCommand, kMenuLoadFirst + 3, "LOAD_004", kMenuEnabled},                                 //   LOAD_004
    {1, kMenuCommand, kMenuLoadFirst + 4, "LOAD_005", kMenuEnabled},                                 //   LOAD_005
    {1, kMenuCommand, kMenuLoadFirst + 5, "LOAD_006", kMenuEnabled},                                 //   LOAD_006
    {1, kMenuCommand, kMenuLoadFirst + 6, "LOAD_007", kMenuEnabled},                                 //   LOAD_007
    {1, kMenuCommand, kMenuLoadFirst + 7, "LOAD_008", kMenuEnabled},                                 //   LOAD_008
    {1, kMenuCommand, kMenuLoadFirst + 8, "LOAD_009", kMenuEnabled},                                 //   LOAD_009
    {1, kMenuCommand, kMenuLoadFirst + 9, "LOAD_010", kMenuEnabled},                                 //   LOAD_010
    {1, kMenuCommand, kMenuLoadFirst + 10, "LOAD_011", kMenuEnabled},                                //   LOAD_011
    {1, kMenuCommand, kMenuLoadFirst + 11, "LOAD_012", kMenuEnabled},                                //   LOAD_012
    {1, kMenuCommand, kMenuLoadFirst + 12, "LOAD_013", kMenuEnabled},                                //   LOAD_013
    {1, kMenuCommand, kMenuLoadFirst + 13, "LOAD_014", kMenuEnabled},                                //   LOAD_014
    {1, kMenuCommand, kMenuLoadFirst + 14, "LOAD_015", kMenuEnabled},                                //   LOAD_015
    {0, kMenuSubmenu, 0, "\xbe\xb0\xcc\xde", kMenuEnabled},                                          // ｾｰﾌﾞ
    {1, kMenuCommand, kMenuSaveFirst, "SAVE_001", kMenuEnabled},                                     //   SAVE_001
    {1, kMenuCommand, kMenuSaveFirst + 1, "SAVE_002", kMenuEnabled},                                 //   SAVE_002
    {1, kMenuCommand, kMenuSaveFirst + 2, "SAVE_003", kMenuEnabled},                                 //   SAVE_003
    {1, kMenuCommand, kMenuSaveFirst + 3, "SAVE_004", kMenuEnabled},                                 //   SAVE_004
    {1, kMenuCommand, kMenuSaveFirst + 4, "SAVE_005", kMenuEnabled},                                 //   SAVE_005
    {1, kMenuCommand, kMenuSaveFirst + 5, "SAVE_006", kMenuEnabled},                                 //   SAVE_006
    {1, kMenuCommand, kMenuSaveFirst + 6, "SAVE_007", kMenuEnabled},                                 //   SAVE_007
    {1, kMenuCommand, kMenuSaveFirst + 7, "SAVE_008", kMenuEnabled},                                 //   SAVE_008
    {1, kMenuCommand, kMenuSaveFirst + 8, "SAVE_009", kMenuEnabled},                                 //   SAVE_009
    {1, kMenuCommand, kMenuSaveFirst + 9, "SAVE_010", kMenuEnabled},                                 //   SAVE_010
    {1, kMenuCommand, kMenuSaveFirst + 10, "SAVE_011", kMenuEnabled},                                //   SAVE_011
    {1, kMenuCommand, kMenuSaveFirst + 11, "SAVE_012", kMenuEnabled},                                //   SAVE_012
    {1, kMenuCommand, kMenuSaveFirst + 12, "SAVE_013", kMenuEnabled},                                //   SAVE_013
    {1, kMenuCommand, kMenuSaveFirst + 13, "SAVE_014", kMenuEnabled},                                //   SAVE_014
    {1, kMenuCommand, kMenuSaveFirst + 14, "SAVE_015", kMenuEnabled},                                //   SAVE_015
    {0, kMenuSubmenu, 0, "\xb8\xb2\xaf\xb8\xbe\xb0\xcc\xde\x82\xcc\xdb\xb0\xc4\xde", kMenuEnabled},  // ｸｲｯｸｾｰﾌﾞのﾛｰﾄﾞ
    {1, kMenuCommand, kMenuAutoSaveFirst, "SAVE_AUTO_01", kMenuEnabled},                             //   SAVE_AUTO_01
    {1, kMenuCommand, kMenuAutoSaveFirst + 1, "SAVE_AUTO_02", kMenuEnabled},                         //   SAVE_AUTO_02
    {1, kMenuCommand, kMenuAutoSaveFirst + 2, "SAVE_AUTO_03", kMenuEnabled},                         //   SAVE_AUTO_03
    {0, kMenuSubmenu, 0, "\xbe\xb0\xcc\xde\xb7\xac\xd7\xb1\xb2\xba\xdd", kMenuEnabled},  // ｾｰﾌﾞｷｬﾗｱｲｺﾝ
    {1, kMenuCommand, kMenuSaveIconFirst, kCharacterNames[0], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 1, kCharacterNames[1], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 2, kCharacterNames[2], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 3, kCharacterNames[3], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 4, kCharacterNames[4], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 5, kCharacterNames[5], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 6, kCharacterNames[6], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 7, kCharacterNames[7], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 8, kCharacterNames[8], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 9, kCharacterNames[9], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 10, kCharacterNames[10], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 11, kCharacterNames[11], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 12, kCharacterNames[12], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 13, kCharacterNames[13], kMenuEnabled},
    {1, kMenuCommand, kMenuSaveIconFirst + 14, kCharacterNames[14], kMenuEnabled},
    {0, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {0, kMenuSubmenu, 0, "\x95\x5c\x8e\xa6\x8c\xf8\x89\xca", kMenuEnabled},                // 表示効果
    {1, kMenuCommand, kMenuEffectUse, "\xb4\xcc\xaa\xb8\xc4\x97L\x8c\xf8", kMenuEnabled},  //   ｴﾌｪｸﾄ有効
    {0, kMenuSubmenu, 0, "\x90\xdd\x92\xe8", kMenuEnabled},                                // 設定
    {1, kMenuSubmenu, 0, "\x8a\xee\x8f\x80\x89\xb9\x97\xca", kMenuEnabled},                //   基準音量
    {2, kMenuCommand, kMenuMasterVolumeFirst, "100%", kMenuEnabled},                       //     100%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 1, "90%", kMenuEnabled},                    //     90%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 2, "80%", kMenuEnabled},                    //     80%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 3, "70%", kMenuEnabled},                    //     70%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 4, "60%", kMenuEnabled},                    //     60%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 5, "50%", kMenuEnabled},                    //     50%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 6, "40%", kMenuEnabled},                    //     40%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 7, "30%", kMenuEnabled},                    //     30%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 8, "20%", kMenuEnabled},                    //     20%
    {2, kMenuCommand, kMenuMasterVolumeFirst + 9, "10%", kMenuEnabled},                    //     10%
    {1, kMenuSubmenu, 0, "\xd0\xad\xb0\xbc\xde\xaf\xb8", kMenuEnabled},                    //   ﾐｭｰｼﾞｯｸ
    {2, kMenuSubmenu, 0, "\x89\xb9\x97\xca", kMenuEnabled},                                //     音量
    {3, kMenuCommand, kMenuMusicVolumeFirst, "100%", kMenuEnabled},                        //       100%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 1, "90%", kMenuEnabled},                     //       90%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 2, "80%", kMenuEnabled},                     //       80%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 3, "70%", kMenuEnabled},                     //       70%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 4, "60%", kMenuEnabled},                     //       60%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 5, "50%", kMenuEnabled},                     //       50%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 6, "40%", kMenuEnabled},                     //       40%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 7, "30%", kMenuEnabled},                     //       30%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 8, "20%", kMenuEnabled},                     //       20%
    {3, kMenuCommand, kMenuMusicVolumeFirst + 9, "10%", kMenuEnabled},                     //       10%
    {2, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {2, kMenuCommand, kMenuMusicPlay, "\x8d\xc4\x90\xb6", kMenuEnabled},                  //     再生
    {1, kMenuSubmenu, 0, "\x89\xb9\x90\xba", kMenuEnabled},                               //   音声
    {2, kMenuSubmenu, 0, "\x89\xb9\x97\xca", kMenuEnabled},                               //     音量
    {3, kMenuCommand, kMenuVoiceVolumeFirst, "100%", kMenuEnabled},                       //       100%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 1, "90%", kMenuEnabled},                    //       90%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 2, "80%", kMenuEnabled},                    //       80%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 3, "70%", kMenuEnabled},                    //       70%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 4, "60%", kMenuEnabled},                    //       60%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 5, "50%", kMenuEnabled},                    //       50%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 6, "40%", kMenuEnabled},                    //       40%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 7, "30%", kMenuEnabled},                    //       30%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 8, "20%", kMenuEnabled},                    //       20%
    {3, kMenuCommand, kMenuVoiceVolumeFirst + 9, "10%", kMenuEnabled},                    //       10%
    {2, kMenuSubmenu, 0, "\x83L\x83\x83\x83\x89\x95\xca\x8d\xc4\x90\xb6", kMenuEnabled},  //     キャラ別再生
    {3, kMenuCommand, kMenuCharVoiceFirst, kCharacterNames[0], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 1, kCharacterNames[1], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 2, kCharacterNames[2], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 3, kCharacterNames[3], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 4, kCharacterNames[4], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 5, kCharacterNames[5], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 6, kCharacterNames[6], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 7, kCharacterNames[7], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 8, kCharacterNames[8], kMenuEnabled},
    // The voice switches exchange characters 9 and 10.
    {3, kMenuCommand, kMenuCharVoiceFirst + 9, kCharacterNames[10], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 10, kCharacterNames[9], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 11, kCharacterNames[11], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 12, kCharacterNames[12], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 13, kCharacterNames[13], kMenuEnabled},
    {3, kMenuCommand, kMenuCharVoiceFirst + 14, kCharacterNames[14], kMenuEnabled},
    {2, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {2, kMenuCommand, kMenuVoicePlay, "\x8d\xc4\x90\xb6", kMenuEnabled},  //     再生
    {1, kMenuSubmenu, 0, "\x8c\xf8\x89\xca\x89\xb9", kMenuEnabled},       //   効果音
    {2, kMenuSubmenu, 0, "\x89\xb9\x97\xca", kMenuEnabled},               //     音量
    {3, kMenuCommand, kMenuSeVolumeFirst, "100%", kMenuEnabled},          //       100%
    {3, kMenuCommand, kMenuSeVolumeFirst + 1, "90%", kMenuEnabled},       //       90%
    {3, kMenuCommand, kMenuSeVolumeFirst + 2, "80%", kMenuEnabled},       //       80%
    {3, kMenuCommand, kMenuSeVolumeFirst + 3, "70%", kMenuEnabled},       //       70%
    {3, kMenuCommand, kMenuSeVolumeFirst + 4, "60%", kMenuEnabled},       //       60%
    {3, kMenuCommand, kMenuSeVolumeFirst + 5, "50%", kMenuEnabled},       //       50%
    {3, kMenuCommand, kMenuSeVolumeFirst + 6, "40%", kMenuEnabled},       //       40%
    {3, kMenuCommand, kMenuSeVolumeFirst + 7, "30%", kMenuEnabled},       //       30%
    {3, kMenuCommand, kMenuSeVolumeFirst + 8, "20%", kMenuEnabled},       //       20%
    {3, kMenuCommand, kMenuSeVolumeFirst + 9, "10%", kMenuEnabled},       //       10%
    {2, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {2, kMenuCommand, kMenuSePlay, "\x8d\xc4\x90\xb6", kMenuEnabled},                        //     再生
    {1, kMenuSubmenu, 0, "\x93\xae\x89\xe6", kMenuEnabled},                                  //   動画
    {2, kMenuSubmenu, 0, "\x89\xb9\x97\xca", kMenuEnabled},                                  //     音量
    {3, kMenuCommand, kMenuMovieVolumeFirst, "100%", kMenuEnabled},                          //       100%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 1, "90%", kMenuEnabled},                       //       90%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 2, "80%", kMenuEnabled},                       //       80%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 3, "70%", kMenuEnabled},                       //       70%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 4, "60%", kMenuEnabled},                       //       60%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 5, "50%", kMenuEnabled},                       //       50%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 6, "40%", kMenuEnabled},                       //       40%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 7, "30%", kMenuEnabled},                       //       30%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 8, "20%", kMenuEnabled},                       //       20%
    {3, kMenuCommand, kMenuMovieVolumeFirst + 9, "10%", kMenuEnabled},                       //       10%
    {2, kMenuCommand, kMenuVgaQuality, "\x90\xfc\x8c`\x95\xe2\x8a\xd4[VGA]", kMenuEnabled},  //     線形補間[VGA]
    {1, kMenuSubmenu, 0, "\x89\xb9\x90\xba\xb6\xaf\xc4\xd3\xb0\xc4\xde", kMenuEnabled},  //   音声ｶｯﾄﾓｰﾄﾞ
    {2, kMenuCommand, kMenuVoiceCutFirst, "\xc3\xb7\xbd\xc4\x91\x97\x82\xe8\x82\xc5\x92\xe2\x8e~",
     kMenuEnabled},  //     ﾃｷｽﾄ送りで停止
    {2, kMenuCommand, kMenuVoiceCutFirst + 1,
     "\x8e\x9f\x82\xcc\x91\xe4\x8e\x8c\x82\xcc\x89\xb9\x90\xba\x82\xdc\x82\xc5",
     kMenuEnabled},  //     次の台詞の音声まで
    {2, kMenuCommand, kMenuVoiceCutFirst + 2, "\x89\xb9\x90\xba\xcc\xaa\xb0\xc4\xde\xb1\xb3\xc4",
     kMenuEnabled},                                                            //     音声ﾌｪｰﾄﾞｱｳﾄ
    {1, kMenuSubmenu, 0, "\x89\xb9\x8e\xbf", kMenuEnabled},                    //   音質
    {2, kMenuCommand, kMenuSoundQualityFirst, "\x95W\x8f\x80", kMenuEnabled},  //     標準
    {2, kMenuCommand, kMenuSoundQualityFirst + 1, "\x8d\x82\x89\xb9\x8e\xbf", kMenuEnabled},  //     高音質
    {1, kMenuSubmenu, 0, "\xbb\xb3\xdd\xc4\xde\x8c\x9f\x8d\xf5", kMenuEnabled},               //   ｻｳﾝﾄﾞ検索
    {2, kMenuCommand, kMenuOggUseFirst,
     "MP3\x97"
     "D\x90\xe6",
     kMenuEnabled},  //     MP3優先
    {2, kMenuCommand, kMenuOggUseFirst + 1,
     "OGG\x97"
     "D\x90\xe6",
     kMenuEnabled},                                                            //     OGG優先
    {1, kMenuSubmenu, 0, "\xb6\xb0\xbf\xd9\x92\x86\x89\x9b", kMenuEnabled},    //   ｶｰｿﾙ中央
    {2, kMenuCommand, kMenuCenterKeyFirst, "\x96\xb3\x8c\xf8", kMenuEnabled},  //     無効
    {2, kMenuCommand, kMenuCenterKeyFirst + 1, "\xd2\xc6\xad\xb0\x95\x5c\x8e\xa6", kMenuEnabled},  //     ﾒﾆｭｰ表示
    {2, kMenuCommand, kMenuCenterKeyFirst + 2, "\xb3\xa8\xdd\xc4\xde\xb3\x8f\xc1\x8b\x8e",
     kMenuEnabled},  //     ｳｨﾝﾄﾞｳ消去
    {2, kMenuCommand, kMenuCenterKeyFirst + 3, "\xc3\xb7\xbd\xc4\x89\xf1\x91z", kMenuEnabled},  //     ﾃｷｽﾄ回想
    {2, kMenuCommand, kMenuCenterKeyFirst + 4, "\xb8\xb2\xaf\xb8\xbe\xb0\xcc\xde", kMenuEnabled},  //     ｸｲｯｸｾｰﾌﾞ
    {2, kMenuCommand, kMenuCenterKeyFirst + 5, "\xb8\xb2\xaf\xb8\xdb\xb0\xc4\xde", kMenuEnabled},  //     ｸｲｯｸﾛｰﾄﾞ
    {2, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {2, kMenuCommand, kMenuKeyDoubleClick, "\x93\xf1\x93x\x89\x9f\x82\xb5\x90\xdd\x92\xe8",
     kMenuEnabled},                                                                          //     二度押し設定
    {1, kMenuSubmenu, 0, "\xb6\xb0\xbf\xd9\x93\xae\x8d\xec\xd3\xb0\xc4\xde", kMenuEnabled},  //   ｶｰｿﾙ動作ﾓｰﾄﾞ
    {2, kMenuCommand, kMenuCursorModeFirst, "\x92\xca\x8f\xed", kMenuEnabled},               //     通常
    {2, kMenuCommand, kMenuCursorModeFirst + 1, "\x8a\xee\x96{\x97}\x90\xa7", kMenuEnabled},  //     基本抑制
    {2, kMenuCommand, kMenuCursorModeFirst + 2,
     "\x89\xa1\x97"
     "D\x90\xe6",
     kMenuEnabled},  //     横優先
    {2, kMenuCommand, kMenuCursorModeFirst + 3,
     "\x8f"
     "c\x97"
     "D\x90\xe6",
     kMenuEnabled},                                                                           //     縦優先
    {2, kMenuCommand, kMenuCursorModeFirst + 4, "\x8a\xae\x91S\x97}\x90\xa7", kMenuEnabled},  //     完全抑制
    {1, kMenuSubmenu, 0, "\xcf\xc5\xb0\xd3\xb0\xc4\xde", kMenuEnabled},                       //   ﾏﾅｰﾓｰﾄﾞ
    {2, kMenuCommand, kMenuDispFreeFirst,
     "\x8b"
     "C\x82\xc9\x82\xb5\x82\xc8\x82\xa2\x82\xe6",
     kMenuEnabled},  //     気にしないよ
    {2, kMenuCommand, kMenuDispFreeFirst + 1,
     "\x8f\xad\x82\xb5\x82\xad\x82\xe7\x82\xa2\x82\xc8\x82\xe7\x81"
     "c\x81"
     "c",
     kMenuEnabled},  //     少しくらいなら……
    {2, kMenuCommand, kMenuDispFreeFirst + 2,
     "\x8c\xa9\x82\xbf\x82\xe1\x83_\x83\x81\x82\xa8\x8cZ\x82\xbf\x82\xe1\x82\xf1\x81I",
     kMenuEnabled},  //     見ちゃダメお兄ちゃん！
    {2, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {2, kMenuCommand, kMenuMannerVoiceCut,
     "\x89\xb9\x90\xba\x82\xe0\x92p\x82\xb8\x82\xa9\x82\xb5\x82\xa2\x82\xcc\x81"
     "c\x81"
     "c",
     kMenuEnabled},  //     音声も恥ずかしいの……
    {2, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {2, kMenuCommand, kMenuMannerFullCut,
     "\x83G\x83"
     "b\x83`\x82\xc8\x82\xcc\x82\xcd\x82\xa2\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x81I\x81I",
     kMenuEnabled},                                                      //     エッチなのはいけません！！
    {1, kMenuSubmenu, 0, "\xd2\xd3\xd8\x90\xdf\x96\xf1", kMenuEnabled},  //   ﾒﾓﾘ節約
    {2, kMenuCommand, kMenuMapAnimeUse, "\xcf\xaf\xcc\xdf\xb7\xac\xd7\x95\x5c\x8e\xa6",
     kMenuEnabled},                                                          //     ﾏｯﾌﾟｷｬﾗ表示
    {1, kMenuSubmenu, 0, "\xc0\xb2\xc4\xd9\x89\xe6\x96\xca", kMenuEnabled},  //   ﾀｲﾄﾙ画面
    {2, kMenuCommand, kMenuTitleImageFirst, "\xb5\xd8\xbc\xde\xc5\xd9\x8f\x80\x8b\x92",
     kMenuEnabled},  //     ｵﾘｼﾞﾅﾙ準拠
    {2, kMenuCommand, kMenuTitleImageFirst + 1, "\x8a\xee\x96{\x89\xe6\x96\xca", kMenuEnabled},  //     基本画面
    {2, kMenuCommand, kMenuTitleImageFirst + 2, "\x83\x8b\x81[\x83g\x89\xf0\x95\xfa\x89\xe6\x96\xca",
     kMenuEnabled},  //     ルート解放画面
    {2, kMenuCommand, kMenuTitleImageFirst + 3, "\xba\xdd\xcc\xdf\xd8\xb0\xc4\x89\xe6\x96\xca",
     kMenuEnabled},  //     ｺﾝﾌﾟﾘｰﾄ画面
    {1, kMenuCommand, kMenuTransMode, "\x93\xa7\x96\xbe\x8f\x88\x97\x9d", kMenuEnabled},  //   透明処理
    {1, kMenuCommand, kMenuSacraMode, "\x93V\x8c\xf3\x8c\xf8\x89\xca\x82\xf0\x8b\x96\x89\xc2",
     kMenuEnabled},                                                            //   天候効果を許可
    {0, kMenuSubmenu, 0, "\xd2\xaf\xbe\xb0\xbc\xde", kMenuEnabled},            // ﾒｯｾｰｼﾞ
    {1, kMenuSubmenu, 0, "\xcc\xab\xdd\xc4\x91I\x91\xf0", kMenuEnabled},       //   ﾌｫﾝﾄ選択
    {2, kTreeFonts, 0, nullptr, kMenuEnabled},                                 // one item per listed font
    {1, kMenuSubmenu, 0, "\xb1\xdd\xc1\xb4\xb2\xd8\xb1\xbd", kMenuEnabled},    //   ｱﾝﾁｴｲﾘｱｽ
    {2, kMenuCommand, kMenuAntialiasFirst, "\x96\xb3\x8c\xf8", kMenuEnabled},  //     無効
    {2, kMenuCommand, kMenuAntialiasFirst + 1, "\x8e\xe3", kMenuEnabled},      //     弱
    {2, kMenuCommand, kMenuAntialiasFirst + 2, "\x92\x86", kMenuEnabled},      //     中
    {2, kMenuCommand, kMenuAntialiasFirst + 3, "\x8b\xad", kMenuEnabled},      //     強
    {2, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {2, kMenuCommand, kMenuMessageShadow,
     "\x89"
     "e\x95\xb6\x8e\x9a",
     kMenuEnabled},                                                                              //     影文字
    {1, kMenuSubmenu, 0, "\x95\x5c\x8e\xa6\x91\xac\x93x", kMenuEnabled},                         //   表示速度
    {2, kMenuCommand, kMenuMessageSpeedFirst, "LEVEL0(\x8d\xc5\x91\xac)", kMenuEnabled},         //     LEVEL0(最速)
    {2, kMenuCommand, kMenuMessageSpeedFirst + 1, "LEVEL1", kMenuEnabled},                       //     LEVEL1
    {2, kMenuCommand, kMenuMessageSpeedFirst + 2, "LEVEL2", kMenuEnabled},                       //     LEVEL2
    {2, kMenuCommand, kMenuMessageSpeedFirst + 3, "LEVEL3", kMenuEnabled},                       //     LEVEL3
    {2, kMenuCommand, kMenuMessageSpeedFirst + 4, "LEVEL4", kMenuEnabled},                       //     LEVEL4
    {2, kMenuCommand, kMenuMessageSpeedFirst + 5, "LEVEL5", kMenuEnabled},                       //     LEVEL5
    {2, kMenuCommand, kMenuMessageSpeedFirst + 6, "LEVEL6", kMenuEnabled},                       //     LEVEL6
    {2, kMenuCommand, kMenuMessageSpeedFirst + 7, "LEVEL7", kMenuEnabled},                       //     LEVEL7
    {2, kMenuCommand, kMenuMessageSpeedFirst + 8, "LEVEL8", kMenuEnabled},                       //     LEVEL8
    {2, kMenuCommand, kMenuMessageSpeedFirst + 9, "LEVEL9(\x8c\x83\x92x)", kMenuEnabled},        //     LEVEL9(激遅)
    {1, kMenuSubmenu, 0, "\x8e\xa9\x93\xae\x91\x97\x82\xe8", kMenuEnabled},                      //   自動送り
    {2, kMenuCommand, kMenuMessageAuto, "\x97L\x8c\xf8\x82\xc9\x82\xb7\x82\xe9", kMenuEnabled},  //     有効にする
    {2, kMenuSubmenu, 0, "\x8a\xee\x8f\x80", kMenuEnabled},                                      //     基準
    {3, kMenuCommand, kMenuAutoBaseFirst,
     "\x8a\xee\x8f\x80\x81"
     "F200ms",
     kMenuEnabled},  //       基準：200ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 1,
     "\x8a\xee\x8f\x80\x81"
     "F400ms",
     kMenuEnabled},  //       基準：400ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 2,
     "\x8a\xee\x8f\x80\x81"
     "F600ms",
     kMenuEnabled},  //       基準：600ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 3,
     "\x8a\xee\x8f\x80\x81"
     "F800ms",
     kMenuEnabled},  //       基準：800ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 4,
     "\x8a\xee\x8f\x80\x81"
     "F1000ms",
     kMenuEnabled},  //       基準：1000ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 5,
     "\x8a\xee\x8f\x80\x81"
     "F1200ms",
     kMenuEnabled},  //       基準：1200ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 6,
     "\x8a\xee\x8f\x80\x81"
     "F1400ms",
     kMenuEnabled},  //       基準：1400ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 7,
     "\x8a\xee\x8f\x80\x81"
     "F1600ms",
     kMenuEnabled},  //       基準：1600ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 8,
     "\x8a\xee\x8f\x80\x81"
     "F1800ms",
     kMenuEnabled},  //       基準：1800ms
    {3, kMenuCommand, kMenuAutoBaseFirst + 9,
     "\x8a\xee\x8f\x80\x81"
     "F2000ms",
     kMenuEnabled},                                          //       基準：2000ms
    {2, kMenuSubmenu, 0, "\x95\xb6\x8e\x9a", kMenuEnabled},  //     文字
    {3, kMenuCommand, kMenuAutoOneFirst,
     "\x95\xb6\x8e\x9a\x81"
     "F0ms",
     kMenuEnabled},  //       文字：0ms
    {3, kMenuCommand, kMenuAutoOneFirst + 1,
     "\x95\xb6\x8e\x9a\x81"
     "F10ms",
     kMenuEnabled},  //       文字：10ms
    {3, kMenuCommand, kMenuAutoOneFirst + 2,
     "\x95\xb6\x8e\x9a\x81"
     "F20ms",
     kMenuEnabled},  //       文字：20ms
    {3, kMenuCommand, kMenuAutoOneFirst + 3,
     "\x95\xb6\x8e\x9a\x81"
     "F30ms",
     kMenuEnabled},  //       文字：30ms
    {3, kMenuCommand, kMenuAutoOneFirst + 4,
     "\x95\xb6\x8e\x9a\x81"
     "F40ms",
     kMenuEnabled},  //       文字：40ms
    {3, kMenuCommand, kMenuAutoOneFirst + 5,
     "\x95\xb6\x8e\x9a\x81"
     "F50ms",
     kMenuEnabled},  //       文字：50ms
    {3, kMenuCommand, kMenuAutoOneFirst + 6,
     "\x95\xb6\x8e\x9a\x81"
     "F60ms",
     kMenuEnabled},  //       文字：60ms
    {3, kMenuCommand, kMenuAutoOneFirst + 7,
     "\x95\xb6\x8e\x9a\x81"
     "F70ms",
     kMenuEnabled},  //       文字：70ms
    {3, kMenuCommand, kMenuAutoOneFirst + 8,
     "\x95\xb6\x8e\x9a\x81"
     "F80ms",
     kMenuEnabled},  //       文字：80ms
    {3, kMenuCommand, kMenuAutoOneFirst + 9,
     "\x95\xb6\x8e\x9a\x81"
     "F90ms",
     kMenuEnabled},  //       文字：90ms
    {2, kMenuCommand, kMenuVoiceAutoLock, "\x89\xb9\x90\xba\x82\xc6\x93\xaf\x8a\xfa\x82\xb3\x82\xb9\x82\xe9",
     kMenuEnabled},  //     音声と同期させる
    {1, kMenuSubmenu, 0, "\xb3\xa8\xdd\xc4\xde\xb3\x93\xa7\x89\xdf\x92l", kMenuEnabled},  //   ｳｨﾝﾄﾞｳ透過値
    {2, kMenuCommand, kMenuWindowTransFirst, "0%", kMenuEnabled},                         //     0%
    {2, kMenuCommand, kMenuWindowTransFirst + 1, "10%", kMenuEnabled},                    //     10%
    {2, kMenuCommand, kMenuWindowTransFirst + 2, "20%", kMenuEnabled},                    //     20%
    {2, kMenuCommand, kMenuWindowTransFirst + 3, "30%", kMenuEnabled},                    //     30%
    {2, kMenuCommand, kMenuWindowTransFirst + 4, "40%", kMenuEnabled},                    //     40%
    {2, kMenuCommand, kMenuWindowTransFirst + 5, "50%", kMenuEnabled},                    //     50%
    {2, kMenuCommand, kMenuWindowTransFirst + 6, "60%", kMenuEnabled},                    //     60%
    {2, kMenuCommand, kMenuWindowTransFirst + 7, "70%", kMenuEnabled},                    //     70%
    {2, kMenuCommand, kMenuWindowTransFirst + 8, "80%", kMenuEnabled},                    //     80%
    {2, kMenuCommand, kMenuWindowTransFirst + 9, "90%", kMenuEnabled},                    //     90%
    {2, kMenuCommand, kMenuWindowTransFirst + 10, "100%", kMenuEnabled},                  //     100%
    {1, kMenuSubmenu, 0, "\xbd\xb7\xaf\xcc\xdf\x90\xa7\x8c\xe4", kMenuEnabled},           //   ｽｷｯﾌﾟ制御
    {2, kMenuCommand, kMenuReadSkip, "\x96\xa2\x93\xc7\x92\xe2\x8e~", kMenuEnabled},      //     未読停止
    {2, kMenuCommand, kMenuLockSkip, "\xbd\xb7\xaf\xcc\xdf\xdb\xaf\xb8", kMenuEnabled},  //     ｽｷｯﾌﾟﾛｯｸ
    {1, kMenuSubmenu, 0, "\x83\x8d\x83O\x83\x82\x81[\x83h", kMenuEnabled},               //   ログモード
    {2, kMenuCommand, kMenuLogStartFirst, "\xb6\xb0\xbf\xd9\x8f\xe3\x82\xc5\x8bN\x93\xae",
     kMenuEnabled},  //     ｶｰｿﾙ上で起動
    {2, kMenuCommand, kMenuLogStartFirst + 1,
     "\x82"
     "a\xce\xde\xc0\xdd\x82\xc5\x8bN\x93\xae",
     kMenuEnabled},  //     Ｂﾎﾞﾀﾝで起動
    {1, kMenuCommand, kMenuTextCutMode, "\x82\xa0\x82\xe7\x82\xb7\x82\xb6\x8b@\x94\x5c",
     kMenuEnabled},                                                          //   あらすじ機能
    {0, kMenuSubmenu, 0, "\xbc\xbd\xc3\xd1\x89\xb9\x90\xba", kMenuEnabled},  // ｼｽﾃﾑ音声
    {1, kMenuCommand, kMenuMascotVoiceFirst, kCharacterNames[0], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 1, kCharacterNames[1], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 2, kCharacterNames[2], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 3, kCharacterNames[3], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 4, kCharacterNames[4], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 5, kCharacterNames[5], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 6, kCharacterNames[6], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 7, kCharacterNames[7], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 8, kCharacterNames[8], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 9, kCharacterNames[9], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 10, kCharacterNames[10], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 11, kCharacterNames[11], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 12, kCharacterNames[12], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 13, kCharacterNames[13], kMenuEnabled},
    {1, kMenuCommand, kMenuMascotVoiceFirst + 14, kCharacterNames[14], kMenuEnabled},
    {0, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {0, kMenuCommand, kMenuBackToTitle, "\xc0\xb2\xc4\xd9\x82\xc9\x96\xdf\x82\xe9", kMenuEnabled},  // ﾀｲﾄﾙに戻る
    {0, kMenuSeparator, 0, nullptr, kMenuEnabled},
    {0, kMenuCommand, kMenuPause, "\xbc\xbd\xc3\xd1\x8bx\x8e~", 0},  // ｼｽﾃﾑ休止
    {0, kMenuCommand, kMenuQuit, "\x8fI\x97\xb9", kMenuEnabled},     // 終了
};

}  // namespace

const MenuTreeEntry* MenuTreeTable(int* count) {
  if (count) *count = int(std::size(kTree));
  return kTree;
}

void FontItemLabel(char* out, const char* name) {
  size_t n = 0;
  while (name[n] && n < size_t(kMenuFontLabelBytes)) {
    // A double-byte character that starts at the last byte stays whole.
    n += IsSjisLeadByte(static_cast<unsigned char>(name[n])) && name[n + 1] ? 2 : 1;
  }
  for (size_t i = 0; i < n; ++i) out[i] = name[i];
  out[n] = 0;
}

void BuildMenuTreeInto(CPopupMenu* menu, const char* const* fontNames, int fontCount) {
  if (!menu) return;
  MenuPage* pages[kMenuDepth] = {menu->AddPage(nullptr, 0)};
  for (const MenuTreeEntry& e : kTree) {
    MenuPage* page = e.level < kMenuDepth ? pages[e.level] : nullptr;
    if (!page) continue;
    if (e.kind == kTreeFonts) {
      for (int i = 0; i < fontCount && i < kMenuFontItems; ++i) {
        char label[kMenuFontLabelBytes + 2];
        FontItemLabel(label, fontNames[i] ? fontNames[i] : "");
        menu->AddItem(page, kMenuFontFirst + i, kMenuCommand, label);
      }
      continue;
    }
    const int before = page->count;
    const int index = menu->AddItem(page, e.id, e.kind, e.label);
    if (page->count == before) continue;
    if (e.flags != kMenuEnabled) menu->SetEnabled(page, index, kMenuByIndex | e.flags);
    if (e.kind == kMenuSubmenu && e.level + 1 < kMenuDepth) pages[e.level + 1] = menu->AddPage(page, index);
  }
}

void BuildMenuTree(CGameApp* app) {
  if (!app || !app->menu) return;
  std::string names[kMenuFontItems];
  const char* pointers[kMenuFontItems];
  int count = app->fontList ? app->fontList->Count() : 0;
  if (count > kMenuFontItems) count = kMenuFontItems;
  for (int i = 0; i < count; ++i) {
    char name[256] = {};
    app->fontList->GetName(i, name);
    names[i] = name;
    pointers[i] = names[i].c_str();
  }
  BuildMenuTreeInto(app->menu, pointers, count);
  // The status line's free store is that of the data folder's file system.
  const std::string folder = VelmiResolvePathA(app->dataPath);
  if (!folder.empty()) VelmiDeviceSetStoreFolder(folder.c_str());
}

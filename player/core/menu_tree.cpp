#include <velmi_device.h>
#include <velmi_platform.h>

#include <iterator>
#include <string>

#include "common/sjis.h"
#include "player/core/font_list.h"
#include "player/core/game_app.h"
#include "player/core/menu_commands.h"
#include "player/screens/system_menu.h"

namespace {

const MenuTreeEntry kTree[] = {
    {0, MENU_SUBMENU, 0, "\xdb\xb0\xc4\xde", MENU_ENABLED},  // ﾛｰﾄﾞ
    {1, MENU_COMMAND, 40017, "LOAD_001", MENU_ENABLED},  //   LOAD_001
    {1, MENU_COMMAND, 40018, "LOAD_002", MENU_ENABLED},  //   LOAD_002
    {1, MENU_COMMAND, 40019, "LOAD_003", MENU_ENABLED},  //   LOAD_003
    {1, MENU_COMMAND, 40020, "LOAD_004", MENU_ENABLED},  //   LOAD_004
    {1, MENU_COMMAND, 40021, "LOAD_005", MENU_ENABLED},  //   LOAD_005
    {1, MENU_COMMAND, 40022, "LOAD_006", MENU_ENABLED},  //   LOAD_006
    {1, MENU_COMMAND, 40023, "LOAD_007", MENU_ENABLED},  //   LOAD_007
    {1, MENU_COMMAND, 40024, "LOAD_008", MENU_ENABLED},  //   LOAD_008
    {1, MENU_COMMAND, 40025, "LOAD_009", MENU_ENABLED},  //   LOAD_009
    {1, MENU_COMMAND, 40026, "LOAD_010", MENU_ENABLED},  //   LOAD_010
    {1, MENU_COMMAND, 40027, "LOAD_011", MENU_ENABLED},  //   LOAD_011
    {1, MENU_COMMAND, 40028, "LOAD_012", MENU_ENABLED},  //   LOAD_012
    {1, MENU_COMMAND, 40029, "LOAD_013", MENU_ENABLED},  //   LOAD_013
    {1, MENU_COMMAND, 40030, "LOAD_014", MENU_ENABLED},  //   LOAD_014
    {1, MENU_COMMAND, 40031, "LOAD_015", MENU_ENABLED},  //   LOAD_015
    {0, MENU_SUBMENU, 0, "\xbe\xb0\xcc\xde", MENU_ENABLED},  // ｾｰﾌﾞ
    {1, MENU_COMMAND, 40032, "SAVE_001", MENU_ENABLED},  //   SAVE_001
    {1, MENU_COMMAND, 40033, "SAVE_002", MENU_ENABLED},  //   SAVE_002
    {1, MENU_COMMAND, 40034, "SAVE_003", MENU_ENABLED},  //   SAVE_003
    {1, MENU_COMMAND, 40035, "SAVE_004", MENU_ENABLED},  //   SAVE_004
    {1, MENU_COMMAND, 40036, "SAVE_005", MENU_ENABLED},  //   SAVE_005
    {1, MENU_COMMAND, 40037, "SAVE_006", MENU_ENABLED},  //   SAVE_006
    {1, MENU_COMMAND, 40038, "SAVE_007", MENU_ENABLED},  //   SAVE_007
    {1, MENU_COMMAND, 40039, "SAVE_008", MENU_ENABLED},  //   SAVE_008
    {1, MENU_COMMAND, 40040, "SAVE_009", MENU_ENABLED},  //   SAVE_009
    {1, MENU_COMMAND, 40041, "SAVE_010", MENU_ENABLED},  //   SAVE_010
    {1, MENU_COMMAND, 40042, "SAVE_011", MENU_ENABLED},  //   SAVE_011
    {1, MENU_COMMAND, 40043, "SAVE_012", MENU_ENABLED},  //   SAVE_012
    {1, MENU_COMMAND, 40044, "SAVE_013", MENU_ENABLED},  //   SAVE_013
    {1, MENU_COMMAND, 40045, "SAVE_014", MENU_ENABLED},  //   SAVE_014
    {1, MENU_COMMAND, 40046, "SAVE_015", MENU_ENABLED},  //   SAVE_015
    {0, MENU_SUBMENU, 0, "\xb8\xb2\xaf\xb8\xbe\xb0\xcc\xde\x82\xcc\xdb\xb0\xc4\xde", MENU_ENABLED},  // ｸｲｯｸｾｰﾌﾞのﾛｰﾄﾞ
    {1, MENU_COMMAND, 40222, "SAVE_AUTO_01", MENU_ENABLED},  //   SAVE_AUTO_01
    {1, MENU_COMMAND, 40223, "SAVE_AUTO_02", MENU_ENABLED},  //   SAVE_AUTO_02
    {1, MENU_COMMAND, 40224, "SAVE_AUTO_03", MENU_ENABLED},  //   SAVE_AUTO_03
    {0, MENU_SUBMENU, 0, "\xbe\xb0\xcc\xde\xb7\xac\xd7\xb1\xb2\xba\xdd", MENU_ENABLED},  // ｾｰﾌﾞｷｬﾗｱｲｺﾝ
    {1, MENU_COMMAND, 40291, "\x9e\xbe\x8c\xb4\x83\x94\x83" "F\x83\x8b\x83~", MENU_ENABLED},  //   楡原ヴェルミ
    {1, MENU_COMMAND, 40292, "\x9e\xbe\x8c\xb4\x83h\x83\x94\x83@", MENU_ENABLED},  //   楡原ドヴァ
    {1, MENU_COMMAND, 40293, "\x8f\xc9\x93\xb0\x83t\x83" "F\x83j\x83\x89", MENU_ENABLED},  //   硝堂フェニラ
    {1, MENU_COMMAND, 40294, "\x92\xd1\x92J\x83\x8b\x83p", MENU_ENABLED},  //   柘谷ルパ
    {1, MENU_COMMAND, 40295, "\x91h\x96" "F\x83x\x83\x8a\x83T", MENU_ENABLED},  //   蘇芳ベリサ
    {1, MENU_COMMAND, 40296, "\x96\xb8\x96\xd8\x83I\x83\x8b\x83" "E\x83" "F", MENU_ENABLED},  //   椋木オルウェ
    {1, MENU_COMMAND, 40297, "\x95" "A\x90X\x83" "E\x83" "F\x83\x93\x83\x89", MENU_ENABLED},  //   柊森ウェンラ
    {1, MENU_COMMAND, 40298, "\xeaI\x96\xec\x83\x8b\x83\x8f", MENU_ENABLED},  //   鶫野ルワ
    {1, MENU_COMMAND, 40299, "\x8e\xc2\x95\xd3\x83G\x83\x8b\x83\x94\x83@\x83\x93", MENU_ENABLED},  //   篠辺エルヴァン
    {1, MENU_COMMAND, 40300, "\x83" "A\x81[\x83h\x83" "E\x83" "B\x83\x93", MENU_ENABLED},  //   アードウィン
    {1, MENU_COMMAND, 40301, "\x8e\xe0\x8d]\x83n\x83h\x83\x8a\x83N", MENU_ENABLED},  //   錫江ハドリク
    {1, MENU_COMMAND, 40302, "\x93\xc9\x90\xa3\x83w\x83X\x83g\x83\x8a", MENU_ENABLED},  //   橡瀬ヘストリ
    {1, MENU_COMMAND, 40303, "\x8f\xaa\x91\xd2\x83" "C\x83t\x83@", MENU_ENABLED},  //   宵待イファ
    {1, MENU_COMMAND, 40304, "\x83\xc4\x81i\x83[\x81[\x83^\x81j", MENU_ENABLED},  //   ζ（ゼータ）
    {1, MENU_COMMAND, 40305, "\xe0Y\x90\xec\x83J\x83\x8b\x83\x94\x83@", MENU_ENABLED},  //   澪川カルヴァ
    {0, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {0, MENU_SUBMENU, 0, "\x95\x5c\x8e\xa6\x8c\xf8\x89\xca", MENU_ENABLED},  // 表示効果
    {1, MENU_COMMAND, 40049, "\xb4\xcc\xaa\xb8\xc4\x97L\x8c\xf8", MENU_ENABLED},  //   ｴﾌｪｸﾄ有効
    {0, MENU_SUBMENU, 0, "\x90\xdd\x92\xe8", MENU_ENABLED},  // 設定
    {1, MENU_SUBMENU, 0, "\x8a\xee\x8f\x80\x89\xb9\x97\xca", MENU_ENABLED},  //   基準音量
    {2, MENU_COMMAND, 40126, "100%", MENU_ENABLED},  //     100%
    {2, MENU_COMMAND, 40127, "90%", MENU_ENABLED},  //     90%
    {2, MENU_COMMAND, 40128, "80%", MENU_ENABLED},  //     80%
    {2, MENU_COMMAND, 40129, "70%", MENU_ENABLED},  //     70%
    {2, MENU_COMMAND, 40130, "60%", MENU_ENABLED},  //     60%
    {2, MENU_COMMAND, 40131, "50%", MENU_ENABLED},  //     50%
    {2, MENU_COMMAND, 40132, "40%", MENU_ENABLED},  //     40%
    {2, MENU_COMMAND, 40133, "30%", MENU_ENABLED},  //     30%
    {2, MENU_COMMAND, 40134, "20%", MENU_ENABLED},  //     20%
    {2, MENU_COMMAND, 40135, "10%", MENU_ENABLED},  //     10%
    {1, MENU_SUBMENU, 0, "\xd0\xad\xb0\xbc\xde\xaf\xb8", MENU_ENABLED},  //   ﾐｭｰｼﾞｯｸ
    {2, MENU_SUBMENU, 0, "\x89\xb9\x97\xca", MENU_ENABLED},  //     音量
    {3, MENU_COMMAND, 40069, "100%", MENU_ENABLED},  //       100%
    {3, MENU_COMMAND, 40070, "90%", MENU_ENABLED},  //       90%
    {3, MENU_COMMAND, 40071, "80%", MENU_ENABLED},  //       80%
    {3, MENU_COMMAND, 40072, "70%", MENU_ENABLED},  //       70%
    {3, MENU_COMMAND, 40073, "60%", MENU_ENABLED},  //       60%
    {3, MENU_COMMAND, 40074, "50%", MENU_ENABLED},  //       50%
    {3, MENU_COMMAND, 40075, "40%", MENU_ENABLED},  //       40%
    {3, MENU_COMMAND, 40076, "30%", MENU_ENABLED},  //       30%
    {3, MENU_COMMAND, 40077, "20%", MENU_ENABLED},  //       20%
    {3, MENU_COMMAND, 40078, "10%", MENU_ENABLED},  //       10%
    {2, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {2, MENU_COMMAND, 40068, "\x8d\xc4\x90\xb6", MENU_ENABLED},  //     再生
    {1, MENU_SUBMENU, 0, "\x89\xb9\x90\xba", MENU_ENABLED},  //   音声
    {2, MENU_SUBMENU, 0, "\x89\xb9\x97\xca", MENU_ENABLED},  //     音量
    {3, MENU_COMMAND, 40079, "100%", MENU_ENABLED},  //       100%
    {3, MENU_COMMAND, 40080, "90%", MENU_ENABLED},  //       90%
    {3, MENU_COMMAND, 40081, "80%", MENU_ENABLED},  //       80%
    {3, MENU_COMMAND, 40082, "70%", MENU_ENABLED},  //       70%
    {3, MENU_COMMAND, 40083, "60%", MENU_ENABLED},  //       60%
    {3, MENU_COMMAND, 40084, "50%", MENU_ENABLED},  //       50%
    {3, MENU_COMMAND, 40085, "40%", MENU_ENABLED},  //       40%
    {3, MENU_COMMAND, 40086, "30%", MENU_ENABLED},  //       30%
    {3, MENU_COMMAND, 40087, "20%", MENU_ENABLED},  //       20%
    {3, MENU_COMMAND, 40088, "10%", MENU_ENABLED},  //       10%
    {2, MENU_SUBMENU, 0, "\x83L\x83\x83\x83\x89\x95\xca\x8d\xc4\x90\xb6", MENU_ENABLED},  //     キャラ別再生
    {3, MENU_COMMAND, 40312, "\x9e\xbe\x8c\xb4\x83\x94\x83" "F\x83\x8b\x83~", MENU_ENABLED},  //       楡原ヴェルミ
    {3, MENU_COMMAND, 40313, "\x9e\xbe\x8c\xb4\x83h\x83\x94\x83@", MENU_ENABLED},  //       楡原ドヴァ
    {3, MENU_COMMAND, 40314, "\x8f\xc9\x93\xb0\x83t\x83" "F\x83j\x83\x89", MENU_ENABLED},  //       硝堂フェニラ
    {3, MENU_COMMAND, 40315, "\x92\xd1\x92J\x83\x8b\x83p", MENU_ENABLED},  //       柘谷ルパ
    {3, MENU_COMMAND, 40316, "\x91h\x96" "F\x83x\x83\x8a\x83T", MENU_ENABLED},  //       蘇芳ベリサ
    {3, MENU_COMMAND, 40317, "\x96\xb8\x96\xd8\x83I\x83\x8b\x83" "E\x83" "F", MENU_ENABLED},  //       椋木オルウェ
    {3, MENU_COMMAND, 40318, "\x95" "A\x90X\x83" "E\x83" "F\x83\x93\x83\x89", MENU_ENABLED},  //       柊森ウェンラ
    {3, MENU_COMMAND, 40319, "\xeaI\x96\xec\x83\x8b\x83\x8f", MENU_ENABLED},  //       鶫野ルワ
    {3, MENU_COMMAND, 40320, "\x8e\xc2\x95\xd3\x83G\x83\x8b\x83\x94\x83@\x83\x93", MENU_ENABLED},  //       篠辺エルヴァン
    {3, MENU_COMMAND, 40321, "\x8e\xe0\x8d]\x83n\x83h\x83\x8a\x83N", MENU_ENABLED},  //       錫江ハドリク
    {3, MENU_COMMAND, 40322, "\x83" "A\x81[\x83h\x83" "E\x83" "B\x83\x93", MENU_ENABLED},  //       アードウィン
    {3, MENU_COMMAND, 40323, "\x93\xc9\x90\xa3\x83w\x83X\x83g\x83\x8a", MENU_ENABLED},  //       橡瀬ヘストリ
    {3, MENU_COMMAND, 40324, "\x8f\xaa\x91\xd2\x83" "C\x83t\x83@", MENU_ENABLED},  //       宵待イファ
    {3, MENU_COMMAND, 40325, "\x83\xc4\x81i\x83[\x81[\x83^\x81j", MENU_ENABLED},  //       ζ（ゼータ）
    {3, MENU_COMMAND, 40326, "\xe0Y\x90\xec\x83J\x83\x8b\x83\x94\x83@", MENU_ENABLED},  //       澪川カルヴァ
    {2, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {2, MENU_COMMAND, 40067, "\x8d\xc4\x90\xb6", MENU_ENABLED},  //     再生
    {1, MENU_SUBMENU, 0, "\x8c\xf8\x89\xca\x89\xb9", MENU_ENABLED},  //   効果音
    {2, MENU_SUBMENU, 0, "\x89\xb9\x97\xca", MENU_ENABLED},  //     音量
    {3, MENU_COMMAND, 40109, "100%", MENU_ENABLED},  //       100%
    {3, MENU_COMMAND, 40110, "90%", MENU_ENABLED},  //       90%
    {3, MENU_COMMAND, 40111, "80%", MENU_ENABLED},  //       80%
    {3, MENU_COMMAND, 40112, "70%", MENU_ENABLED},  //       70%
    {3, MENU_COMMAND, 40113, "60%", MENU_ENABLED},  //       60%
    {3, MENU_COMMAND, 40114, "50%", MENU_ENABLED},  //       50%
    {3, MENU_COMMAND, 40115, "40%", MENU_ENABLED},  //       40%
    {3, MENU_COMMAND, 40116, "30%", MENU_ENABLED},  //       30%
    {3, MENU_COMMAND, 40117, "20%", MENU_ENABLED},  //       20%
    {3, MENU_COMMAND, 40118, "10%", MENU_ENABLED},  //       10%
    {2, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {2, MENU_COMMAND, 40108, "\x8d\xc4\x90\xb6", MENU_ENABLED},  //     再生
    {1, MENU_SUBMENU, 0, "\x93\xae\x89\xe6", MENU_ENABLED},  //   動画
    {2, MENU_SUBMENU, 0, "\x89\xb9\x97\xca", MENU_ENABLED},  //     音量
    {3, MENU_COMMAND, 40136, "100%", MENU_ENABLED},  //       100%
    {3, MENU_COMMAND, 40137, "90%", MENU_ENABLED},  //       90%
    {3, MENU_COMMAND, 40138, "80%", MENU_ENABLED},  //       80%
    {3, MENU_COMMAND, 40139, "70%", MENU_ENABLED},  //       70%
    {3, MENU_COMMAND, 40140, "60%", MENU_ENABLED},  //       60%
    {3, MENU_COMMAND, 40141, "50%", MENU_ENABLED},  //       50%
    {3, MENU_COMMAND, 40142, "40%", MENU_ENABLED},  //       40%
    {3, MENU_COMMAND, 40143, "30%", MENU_ENABLED},  //       30%
    {3, MENU_COMMAND, 40144, "20%", MENU_ENABLED},  //       20%
    {3, MENU_COMMAND, 40145, "10%", MENU_ENABLED},  //       10%
    {2, MENU_COMMAND, 40196, "\x90\xfc\x8c`\x95\xe2\x8a\xd4[VGA]", MENU_ENABLED},  //     線形補間[VGA]
    {1, MENU_SUBMENU, 0, "\x89\xb9\x90\xba\xb6\xaf\xc4\xd3\xb0\xc4\xde", MENU_ENABLED},  //   音声ｶｯﾄﾓｰﾄﾞ
    {2, MENU_COMMAND, 40193, "\xc3\xb7\xbd\xc4\x91\x97\x82\xe8\x82\xc5\x92\xe2\x8e~", MENU_ENABLED},  //     ﾃｷｽﾄ送りで停止
    {2, MENU_COMMAND, 40194, "\x8e\x9f\x82\xcc\x91\xe4\x8e\x8c\x82\xcc\x89\xb9\x90\xba\x82\xdc\x82\xc5", MENU_ENABLED},  //     次の台詞の音声まで
    {2, MENU_COMMAND, 40195, "\x89\xb9\x90\xba\xcc\xaa\xb0\xc4\xde\xb1\xb3\xc4", MENU_ENABLED},  //     音声ﾌｪｰﾄﾞｱｳﾄ
    {1, MENU_SUBMENU, 0, "\x89\xb9\x8e\xbf", MENU_ENABLED},  //   音質
    {2, MENU_COMMAND, 40258, "\x95W\x8f\x80", MENU_ENABLED},  //     標準
    {2, MENU_COMMAND, 40259, "\x8d\x82\x89\xb9\x8e\xbf", MENU_ENABLED},  //     高音質
    {1, MENU_SUBMENU, 0, "\xbb\xb3\xdd\xc4\xde\x8c\x9f\x8d\xf5", MENU_ENABLED},  //   ｻｳﾝﾄﾞ検索
    {2, MENU_COMMAND, 40260, "MP3\x97" "D\x90\xe6", MENU_ENABLED},  //     MP3優先
    {2, MENU_COMMAND, 40261, "OGG\x97" "D\x90\xe6", MENU_ENABLED},  //     OGG優先
    {1, MENU_SUBMENU, 0, "\xb6\xb0\xbf\xd9\x92\x86\x89\x9b", MENU_ENABLED},  //   ｶｰｿﾙ中央
    {2, MENU_COMMAND, 40163, "\x96\xb3\x8c\xf8", MENU_ENABLED},  //     無効
    {2, MENU_COMMAND, 40164, "\xd2\xc6\xad\xb0\x95\x5c\x8e\xa6", MENU_ENABLED},  //     ﾒﾆｭｰ表示
    {2, MENU_COMMAND, 40165, "\xb3\xa8\xdd\xc4\xde\xb3\x8f\xc1\x8b\x8e", MENU_ENABLED},  //     ｳｨﾝﾄﾞｳ消去
    {2, MENU_COMMAND, 40166, "\xc3\xb7\xbd\xc4\x89\xf1\x91z", MENU_ENABLED},  //     ﾃｷｽﾄ回想
    {2, MENU_COMMAND, 40167, "\xb8\xb2\xaf\xb8\xbe\xb0\xcc\xde", MENU_ENABLED},  //     ｸｲｯｸｾｰﾌﾞ
    {2, MENU_COMMAND, 40168, "\xb8\xb2\xaf\xb8\xdb\xb0\xc4\xde", MENU_ENABLED},  //     ｸｲｯｸﾛｰﾄﾞ
    {2, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {2, MENU_COMMAND, 40158, "\x93\xf1\x93x\x89\x9f\x82\xb5\x90\xdd\x92\xe8", MENU_ENABLED},  //     二度押し設定
    {1, MENU_SUBMENU, 0, "\xb6\xb0\xbf\xd9\x93\xae\x8d\xec\xd3\xb0\xc4\xde", MENU_ENABLED},  //   ｶｰｿﾙ動作ﾓｰﾄﾞ
    {2, MENU_COMMAND, 40120, "\x92\xca\x8f\xed", MENU_ENABLED},  //     通常
    {2, MENU_COMMAND, 40121, "\x8a\xee\x96{\x97}\x90\xa7", MENU_ENABLED},  //     基本抑制
    {2, MENU_COMMAND, 40122, "\x89\xa1\x97" "D\x90\xe6", MENU_ENABLED},  //     横優先
    {2, MENU_COMMAND, 40123, "\x8f" "c\x97" "D\x90\xe6", MENU_ENABLED},  //     縦優先
    {2, MENU_COMMAND, 40124, "\x8a\xae\x91S\x97}\x90\xa7", MENU_ENABLED},  //     完全抑制
    {1, MENU_SUBMENU, 0, "\xcf\xc5\xb0\xd3\xb0\xc4\xde", MENU_ENABLED},  //   ﾏﾅｰﾓｰﾄﾞ
    {2, MENU_COMMAND, 40160, "\x8b" "C\x82\xc9\x82\xb5\x82\xc8\x82\xa2\x82\xe6", MENU_ENABLED},  //     気にしないよ
    {2, MENU_COMMAND, 40161, "\x8f\xad\x82\xb5\x82\xad\x82\xe7\x82\xa2\x82\xc8\x82\xe7\x81" "c\x81" "c", MENU_ENABLED},  //     少しくらいなら……
    {2, MENU_COMMAND, 40162, "\x8c\xa9\x82\xbf\x82\xe1\x83_\x83\x81\x82\xa8\x8cZ\x82\xbf\x82\xe1\x82\xf1\x81I", MENU_ENABLED},  //     見ちゃダメお兄ちゃん！
    {2, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {2, MENU_COMMAND, 40177, "\x89\xb9\x90\xba\x82\xe0\x92p\x82\xb8\x82\xa9\x82\xb5\x82\xa2\x82\xcc\x81" "c\x81" "c", MENU_ENABLED},  //     音声も恥ずかしいの……
    {2, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {2, MENU_COMMAND, 40327, "\x83G\x83" "b\x83`\x82\xc8\x82\xcc\x82\xcd\x82\xa2\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x81I\x81I", MENU_ENABLED},  //     エッチなのはいけません！！
    {1, MENU_SUBMENU, 0, "\xd2\xd3\xd8\x90\xdf\x96\xf1", MENU_ENABLED},  //   ﾒﾓﾘ節約
    {2, MENU_COMMAND, 40307, "\xcf\xaf\xcc\xdf\xb7\xac\xd7\x95\x5c\x8e\xa6", MENU_ENABLED},  //     ﾏｯﾌﾟｷｬﾗ表示
    {1, MENU_SUBMENU, 0, "\xc0\xb2\xc4\xd9\x89\xe6\x96\xca", MENU_ENABLED},  //   ﾀｲﾄﾙ画面
    {2, MENU_COMMAND, 40308, "\xb5\xd8\xbc\xde\xc5\xd9\x8f\x80\x8b\x92", MENU_ENABLED},  //     ｵﾘｼﾞﾅﾙ準拠
    {2, MENU_COMMAND, 40309, "\x8a\xee\x96{\x89\xe6\x96\xca", MENU_ENABLED},  //     基本画面
    {2, MENU_COMMAND, 40310, "\x83\x8b\x81[\x83g\x89\xf0\x95\xfa\x89\xe6\x96\xca", MENU_ENABLED},  //     ルート解放画面
    {2, MENU_COMMAND, 40311, "\xba\xdd\xcc\xdf\xd8\xb0\xc4\x89\xe6\x96\xca", MENU_ENABLED},  //     ｺﾝﾌﾟﾘｰﾄ画面
    {1, MENU_COMMAND, 40264, "\x93\xa7\x96\xbe\x8f\x88\x97\x9d", MENU_ENABLED},  //   透明処理
    {1, MENU_COMMAND, 40262, "\x93V\x8c\xf3\x8c\xf8\x89\xca\x82\xf0\x8b\x96\x89\xc2", MENU_ENABLED},  //   天候効果を許可
    {0, MENU_SUBMENU, 0, "\xd2\xaf\xbe\xb0\xbc\xde", MENU_ENABLED},  // ﾒｯｾｰｼﾞ
    {1, MENU_SUBMENU, 0, "\xcc\xab\xdd\xc4\x91I\x91\xf0", MENU_ENABLED},  //   ﾌｫﾝﾄ選択
    {2, kTreeFonts, 0, nullptr, MENU_ENABLED},  // one item per listed font
    {1, MENU_SUBMENU, 0, "\xb1\xdd\xc1\xb4\xb2\xd8\xb1\xbd", MENU_ENABLED},  //   ｱﾝﾁｴｲﾘｱｽ
    {2, MENU_COMMAND, 40051, "\x96\xb3\x8c\xf8", MENU_ENABLED},  //     無効
    {2, MENU_COMMAND, 40052, "\x8e\xe3", MENU_ENABLED},  //     弱
    {2, MENU_COMMAND, 40053, "\x92\x86", MENU_ENABLED},  //     中
    {2, MENU_COMMAND, 40054, "\x8b\xad", MENU_ENABLED},  //     強
    {2, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {2, MENU_COMMAND, 40125, "\x89" "e\x95\xb6\x8e\x9a", MENU_ENABLED},  //     影文字
    {1, MENU_SUBMENU, 0, "\x95\x5c\x8e\xa6\x91\xac\x93x", MENU_ENABLED},  //   表示速度
    {2, MENU_COMMAND, 40225, "LEVEL0(\x8d\xc5\x91\xac)", MENU_ENABLED},  //     LEVEL0(最速)
    {2, MENU_COMMAND, 40226, "LEVEL1", MENU_ENABLED},  //     LEVEL1
    {2, MENU_COMMAND, 40227, "LEVEL2", MENU_ENABLED},  //     LEVEL2
    {2, MENU_COMMAND, 40228, "LEVEL3", MENU_ENABLED},  //     LEVEL3
    {2, MENU_COMMAND, 40229, "LEVEL4", MENU_ENABLED},  //     LEVEL4
    {2, MENU_COMMAND, 40230, "LEVEL5", MENU_ENABLED},  //     LEVEL5
    {2, MENU_COMMAND, 40231, "LEVEL6", MENU_ENABLED},  //     LEVEL6
    {2, MENU_COMMAND, 40232, "LEVEL7", MENU_ENABLED},  //     LEVEL7
    {2, MENU_COMMAND, 40233, "LEVEL8", MENU_ENABLED},  //     LEVEL8
    {2, MENU_COMMAND, 40234, "LEVEL9(\x8c\x83\x92x)", MENU_ENABLED},  //     LEVEL9(激遅)
    {1, MENU_SUBMENU, 0, "\x8e\xa9\x93\xae\x91\x97\x82\xe8", MENU_ENABLED},  //   自動送り
    {2, MENU_COMMAND, 40205, "\x97L\x8c\xf8\x82\xc9\x82\xb7\x82\xe9", MENU_ENABLED},  //     有効にする
    {2, MENU_SUBMENU, 0, "\x8a\xee\x8f\x80", MENU_ENABLED},  //     基準
    {3, MENU_COMMAND, 40235, "\x8a\xee\x8f\x80\x81" "F200ms", MENU_ENABLED},  //       基準：200ms
    {3, MENU_COMMAND, 40236, "\x8a\xee\x8f\x80\x81" "F400ms", MENU_ENABLED},  //       基準：400ms
    {3, MENU_COMMAND, 40237, "\x8a\xee\x8f\x80\x81" "F600ms", MENU_ENABLED},  //       基準：600ms
    {3, MENU_COMMAND, 40238, "\x8a\xee\x8f\x80\x81" "F800ms", MENU_ENABLED},  //       基準：800ms
    {3, MENU_COMMAND, 40239, "\x8a\xee\x8f\x80\x81" "F1000ms", MENU_ENABLED},  //       基準：1000ms
    {3, MENU_COMMAND, 40240, "\x8a\xee\x8f\x80\x81" "F1200ms", MENU_ENABLED},  //       基準：1200ms
    {3, MENU_COMMAND, 40241, "\x8a\xee\x8f\x80\x81" "F1400ms", MENU_ENABLED},  //       基準：1400ms
    {3, MENU_COMMAND, 40242, "\x8a\xee\x8f\x80\x81" "F1600ms", MENU_ENABLED},  //       基準：1600ms
    {3, MENU_COMMAND, 40243, "\x8a\xee\x8f\x80\x81" "F1800ms", MENU_ENABLED},  //       基準：1800ms
    {3, MENU_COMMAND, 40244, "\x8a\xee\x8f\x80\x81" "F2000ms", MENU_ENABLED},  //       基準：2000ms
    {2, MENU_SUBMENU, 0, "\x95\xb6\x8e\x9a", MENU_ENABLED},  //     文字
    {3, MENU_COMMAND, 40245, "\x95\xb6\x8e\x9a\x81" "F0ms", MENU_ENABLED},  //       文字：0ms
    {3, MENU_COMMAND, 40246, "\x95\xb6\x8e\x9a\x81" "F10ms", MENU_ENABLED},  //       文字：10ms
    {3, MENU_COMMAND, 40247, "\x95\xb6\x8e\x9a\x81" "F20ms", MENU_ENABLED},  //       文字：20ms
    {3, MENU_COMMAND, 40248, "\x95\xb6\x8e\x9a\x81" "F30ms", MENU_ENABLED},  //       文字：30ms
    {3, MENU_COMMAND, 40249, "\x95\xb6\x8e\x9a\x81" "F40ms", MENU_ENABLED},  //       文字：40ms
    {3, MENU_COMMAND, 40250, "\x95\xb6\x8e\x9a\x81" "F50ms", MENU_ENABLED},  //       文字：50ms
    {3, MENU_COMMAND, 40251, "\x95\xb6\x8e\x9a\x81" "F60ms", MENU_ENABLED},  //       文字：60ms
    {3, MENU_COMMAND, 40252, "\x95\xb6\x8e\x9a\x81" "F70ms", MENU_ENABLED},  //       文字：70ms
    {3, MENU_COMMAND, 40253, "\x95\xb6\x8e\x9a\x81" "F80ms", MENU_ENABLED},  //       文字：80ms
    {3, MENU_COMMAND, 40254, "\x95\xb6\x8e\x9a\x81" "F90ms", MENU_ENABLED},  //       文字：90ms
    {2, MENU_COMMAND, 40098, "\x89\xb9\x90\xba\x82\xc6\x93\xaf\x8a\xfa\x82\xb3\x82\xb9\x82\xe9", MENU_ENABLED},  //     音声と同期させる
    {1, MENU_SUBMENU, 0, "\xb3\xa8\xdd\xc4\xde\xb3\x93\xa7\x89\xdf\x92l", MENU_ENABLED},  //   ｳｨﾝﾄﾞｳ透過値
    {2, MENU_COMMAND, 40265, "0%", MENU_ENABLED},  //     0%
    {2, MENU_COMMAND, 40266, "10%", MENU_ENABLED},  //     10%
    {2, MENU_COMMAND, 40267, "20%", MENU_ENABLED},  //     20%
    {2, MENU_COMMAND, 40268, "30%", MENU_ENABLED},  //     30%
    {2, MENU_COMMAND, 40269, "40%", MENU_ENABLED},  //     40%
    {2, MENU_COMMAND, 40270, "50%", MENU_ENABLED},  //     50%
    {2, MENU_COMMAND, 40271, "60%", MENU_ENABLED},  //     60%
    {2, MENU_COMMAND, 40272, "70%", MENU_ENABLED},  //     70%
    {2, MENU_COMMAND, 40273, "80%", MENU_ENABLED},  //     80%
    {2, MENU_COMMAND, 40274, "90%", MENU_ENABLED},  //     90%
    {2, MENU_COMMAND, 40275, "100%", MENU_ENABLED},  //     100%
    {1, MENU_SUBMENU, 0, "\xbd\xb7\xaf\xcc\xdf\x90\xa7\x8c\xe4", MENU_ENABLED},  //   ｽｷｯﾌﾟ制御
    {2, MENU_COMMAND, 40059, "\x96\xa2\x93\xc7\x92\xe2\x8e~", MENU_ENABLED},  //     未読停止
    {2, MENU_COMMAND, 40146, "\xbd\xb7\xaf\xcc\xdf\xdb\xaf\xb8", MENU_ENABLED},  //     ｽｷｯﾌﾟﾛｯｸ
    {1, MENU_SUBMENU, 0, "\x83\x8d\x83O\x83\x82\x81[\x83h", MENU_ENABLED},  //   ログモード
    {2, MENU_COMMAND, 40220, "\xb6\xb0\xbf\xd9\x8f\xe3\x82\xc5\x8bN\x93\xae", MENU_ENABLED},  //     ｶｰｿﾙ上で起動
    {2, MENU_COMMAND, 40221, "\x82" "a\xce\xde\xc0\xdd\x82\xc5\x8bN\x93\xae", MENU_ENABLED},  //     Ｂﾎﾞﾀﾝで起動
    {1, MENU_COMMAND, 40263, "\x82\xa0\x82\xe7\x82\xb7\x82\xb6\x8b@\x94\x5c", MENU_ENABLED},  //   あらすじ機能
    {0, MENU_SUBMENU, 0, "\xbc\xbd\xc3\xd1\x89\xb9\x90\xba", MENU_ENABLED},  // ｼｽﾃﾑ音声
    {1, MENU_COMMAND, 40276, "\x9e\xbe\x8c\xb4\x83\x94\x83" "F\x83\x8b\x83~", MENU_ENABLED},  //   楡原ヴェルミ
    {1, MENU_COMMAND, 40277, "\x9e\xbe\x8c\xb4\x83h\x83\x94\x83@", MENU_ENABLED},  //   楡原ドヴァ
    {1, MENU_COMMAND, 40278, "\x8f\xc9\x93\xb0\x83t\x83" "F\x83j\x83\x89", MENU_ENABLED},  //   硝堂フェニラ
    {1, MENU_COMMAND, 40279, "\x92\xd1\x92J\x83\x8b\x83p", MENU_ENABLED},  //   柘谷ルパ
    {1, MENU_COMMAND, 40280, "\x91h\x96" "F\x83x\x83\x8a\x83T", MENU_ENABLED},  //   蘇芳ベリサ
    {1, MENU_COMMAND, 40281, "\x96\xb8\x96\xd8\x83I\x83\x8b\x83" "E\x83" "F", MENU_ENABLED},  //   椋木オルウェ
    {1, MENU_COMMAND, 40282, "\x95" "A\x90X\x83" "E\x83" "F\x83\x93\x83\x89", MENU_ENABLED},  //   柊森ウェンラ
    {1, MENU_COMMAND, 40283, "\xeaI\x96\xec\x83\x8b\x83\x8f", MENU_ENABLED},  //   鶫野ルワ
    {1, MENU_COMMAND, 40284, "\x8e\xc2\x95\xd3\x83G\x83\x8b\x83\x94\x83@\x83\x93", MENU_ENABLED},  //   篠辺エルヴァン
    {1, MENU_COMMAND, 40285, "\x83" "A\x81[\x83h\x83" "E\x83" "B\x83\x93", MENU_ENABLED},  //   アードウィン
    {1, MENU_COMMAND, 40286, "\x8e\xe0\x8d]\x83n\x83h\x83\x8a\x83N", MENU_ENABLED},  //   錫江ハドリク
    {1, MENU_COMMAND, 40287, "\x93\xc9\x90\xa3\x83w\x83X\x83g\x83\x8a", MENU_ENABLED},  //   橡瀬ヘストリ
    {1, MENU_COMMAND, 40288, "\x8f\xaa\x91\xd2\x83" "C\x83t\x83@", MENU_ENABLED},  //   宵待イファ
    {1, MENU_COMMAND, 40289, "\x83\xc4\x81i\x83[\x81[\x83^\x81j", MENU_ENABLED},  //   ζ（ゼータ）
    {1, MENU_COMMAND, 40290, "\xe0Y\x90\xec\x83J\x83\x8b\x83\x94\x83@", MENU_ENABLED},  //   澪川カルヴァ
    {0, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {0, MENU_COMMAND, 40008, "\xc0\xb2\xc4\xd9\x82\xc9\x96\xdf\x82\xe9", MENU_ENABLED},  // ﾀｲﾄﾙに戻る
    {0, MENU_SEPARATOR, 0, nullptr, MENU_ENABLED},
    {0, MENU_COMMAND, 40306, "\xbc\xbd\xc3\xd1\x8bx\x8e~", 0},  // ｼｽﾃﾑ休止
    {0, MENU_COMMAND, 40007, "\x8fI\x97\xb9", MENU_ENABLED},  // 終了
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
  MenuPage* pages[kMenuLevels] = {menu->AddPage(nullptr, 0)};
  for (const MenuTreeEntry& e : kTree) {
    MenuPage* page = e.level < kMenuLevels ? pages[e.level] : nullptr;
    if (!page) continue;
    if (e.kind == kTreeFonts) {
      for (int i = 0; i < fontCount && i < kMenuFontItems; ++i) {
        char label[kMenuFontLabelBytes + 2];
        FontItemLabel(label, fontNames[i] ? fontNames[i] : "");
        menu->AddItem(page, kMenuFirstFontId + i, MENU_COMMAND, label);
      }
      continue;
    }
    const int before = page->count;
    const int index = menu->AddItem(page, e.id, e.kind, e.label);
    if (page->count == before) continue;
    if (e.flags != MENU_ENABLED) menu->SetEnabled(page, index, MENU_BY_INDEX | e.flags);
    if (e.kind == MENU_SUBMENU && e.level + 1 < kMenuLevels) pages[e.level + 1] = menu->AddPage(page, index);
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

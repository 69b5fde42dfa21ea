// The dialog's own texts (Shift-JIS).
#pragma once

// 変換データ数：%d / %d (%s)
#define TEXT_PROGRESS       \
  "\x95\xCF\x8A\xB7\x83"    \
  "f\x81[\x83^\x90\x94\x81" \
  "F%d / %d (%s)"
// << GOGO.DLL >>が見つかりませんでした。
#define TEXT_NO_GOGO                                                                                           \
  "<< GOGO.DLL >>\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81" \
  "B"
// ＤＬＬ異常
#define TEXT_DLL_CAPTION \
  "\x82"                 \
  "c\x82k\x82k\x88\xD9\x8F\xED"
// 『Ｑ．Ｒ．Ｐ．Ｃ．』のフォルダを指定して下さい。
#define TEXT_NO_GAME_FOLDER                                   \
  "\x81w\x82p\x81"                                            \
  "D\x82q\x81"                                                \
  "D\x82o\x81"                                                \
  "D\x82"                                                     \
  "b\x81"                                                     \
  "D\x81x\x82\xCC\x83t\x83H\x83\x8B\x83_\x82\xF0"             \
  "\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\x81" \
  "B"
// フォルダ異常
#define TEXT_FOLDER_CAPTION "\x83t\x83H\x83\x8B\x83_\x88\xD9\x8F\xED"
// 出力先のフォルダを取得できませんでした。
#define TEXT_NO_OUTPUT_FOLDER                                                                            \
  "\x8Fo\x97\xCD\x90\xE6\x82\xCC\x83t\x83H\x83\x8B\x83_\x82\xF0\x8E\xE6\x93\xBE\x82\xC5\x82\xAB\x82\xDC" \
  "\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81"                                                         \
  "B"
// 出力先のフォルダ名に使えない文字があります。日本語か英数字の名前のフォルダから起動して下さい。
#define TEXT_OUTPUT_FOLDER_NAME                                                                               \
  "\x8Fo\x97\xCD\x90\xE6\x82\xCC\x83t\x83H\x83\x8B\x83_"                                                      \
  "\x96\xBC\x82\xC9\x8Eg\x82\xA6\x82\xC8\x82\xA2\x95\xB6\x8E\x9A\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7\x81" \
  "B\x93\xFA\x96{\x8C\xEA\x82\xA9\x89p\x90\x94\x8E\x9A\x82\xCC\x96\xBC\x91O\x82\xCC\x83t\x83H\x83\x8B\x83_"   \
  "\x82\xA9\x82\xE7\x8BN\x93\xAE\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\x81"                                 \
  "B"
// フォルダを選択して下さい。
#define TEXT_CHOOSE_FOLDER                                                                   \
  "\x83t\x83H\x83\x8B\x83_\x82\xF0\x91I\x91\xF0\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\x81" \
  "B"
// 変換スレッドを開始できませんでした。
#define TEXT_NO_THREAD                                                                           \
  "\x95\xCF\x8A\xB7\x83X\x83\x8C\x83"                                                            \
  "b\x83h\x82\xF0\x8AJ\x8En\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81" \
  "B"
// 変換エラー
#define TEXT_RUN_CAPTION "\x95\xCF\x8A\xB7\x83G\x83\x89\x81["
// Said on the error stream when no window shows the dialog and no game folder
// was proposed (plain ASCII: it goes to a terminal, not to the dialog).
#define TEXT_CONSOLE_NO_SOURCE "convVelmi: no desktop game folder to convert (the registry names no DataDir for QR2)"

// The texts of a failure: English for the error stream, Japanese (Shift-JIS)
// for the dialog's box, from one table.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/file_failure.h"
#include "common/sjis.h"
#include "converter/conv_file_make.h"

namespace {

// Markers in the texts, never part of a Shift-JIS character: where the
// error's reason, the failure's detail and a count go.
constexpr char kErrorMark = '\x01';
constexpr char kDetailMark = '\x02';
constexpr char kCountMark = '\x03';

struct ReasonTexts {
  FailureReason why;
  const char* english;
  const char* japanese;
};

// Shift-JIS texts; the UTF-8 text in the comment above each.
constexpr ReasonTexts kReasonTexts[] = {
    // パスが長すぎるため、フォルダの中を調べられませんでした
    {FailureReason::kFolderPathTooLong, "folder not listed: its path is too long",
     "\x83p\x83X\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xE9\x82\xBD\x82\xDF\x81"
     "A\x83t\x83H\x83\x8B\x83_"
     "\x82\xCC\x92\x86\x82\xF0\x92\xB2\x82\xD7\x82\xE7\x82\xEA\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD"},
    // フォルダの中を調べられませんでした（<error>）。中のデータは変換されていません
    {FailureReason::kFolderUnlistable, "folder cannot be listed (\x01); nothing in it was converted",
     "\x83t\x83H\x83\x8B\x83_"
     "\x82\xCC\x92\x86\x82\xF0\x92\xB2\x82\xD7\x82\xE7\x82\xEA\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01"
     "\x81j\x81"
     "B\x92\x86\x82\xCC\x83"
     "f\x81[\x83^\x82\xCD\x95\xCF\x8A\xB7\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1"},
    // ファイル名が長すぎます
    {FailureReason::kFileNameTooLong, "file name too long",
     "\x83t\x83@\x83"
     "C\x83\x8B\x96\xBC\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // パック内の名前 <name> が63バイトを超えています
    {FailureReason::kEntryNameTooLong, "its name in the pack, \x02, is longer than 63 bytes",
     "\x83p\x83"
     "b\x83N\x93\xE0\x82\xCC\x96\xBC\x91O \x02 \x82\xAA"
     "63\x83o\x83"
     "C\x83g\x82\xF0\x92\xB4\x82\xA6\x82\xC4\x82\xA2\x82\xDC\x82\xB7"},
    // パックに書き込めませんでした（<error>）
    {FailureReason::kPackWrite, "the pack could not be written (\x01)",
     "\x83p\x83"
     "b\x83N\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j"},
    // 音声パックに書き込めませんでした（<error>）
    {FailureReason::kVoicePackWrite, "the voice pack could not be written (\x01)",
     "\x89\xB9\x90\xBA\x83p\x83"
     "b\x83N\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j"},
    // パスが長すぎます
    {FailureReason::kPathTooLong, "path too long", "\x83p\x83X\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // 読み込めませんでした（<error>）
    {FailureReason::kUnreadable, "cannot be read (\x01)",
     "\x93\xC7\x82\xDD\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j"},
    // 作成できませんでした（<error>）。画像とシナリオは変換されていません
    {FailureReason::kPicturePackNotCreated, "cannot be created (\x01); no picture or script was converted",
     "\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j\x81"
     "B\x89\xE6\x91\x9C\x82\xC6\x83V\x83i\x83\x8A\x83I\x82\xCD\x95\xCF\x8A\xB7\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC"
     "\x82\xB9\x82\xF1"},
    // 作成できませんでした（<error>）。音声は変換されていません
    {FailureReason::kVoicePackNotCreated, "cannot be created (\x01); no voice was converted",
     "\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j\x81"
     "B\x89\xB9\x90\xBA\x82\xCD\x95\xCF\x8A\xB7\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1"},
    // パスが長すぎます。音声は変換されていません
    {FailureReason::kVoicePackPathTooLong, "path too long; no voice was converted",
     "\x83p\x83X\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7\x81"
     "B\x89\xB9\x90\xBA\x82\xCD\x95\xCF\x8A\xB7\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1"},
    // 完成できませんでした（<error>）
    {FailureReason::kPackNotFinished, "could not be finished (\x01)",
     "\x8A\xAE\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j"},
    // 書き込みましたが、ディスクが書き込みを確かめられませんでした（<error>）
    {FailureReason::kPackUnconfirmed, "was written but the disk did not confirm it (\x01)",
     "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xDC\x82\xB5\x82\xBD\x82\xAA\x81"
     "A\x83"
     "f\x83"
     "B\x83X\x83N\x82\xAA\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xF0\x8Am\x82\xA9\x82\xDF\x82\xE7\x82\xEA\x82\xDC"
     "\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j"},
    // プログラム内のチップ画像を作れませんでした
    {FailureReason::kChipPicture, "the program's chip picture could not be made",
     "\x83v\x83\x8D\x83O\x83\x89\x83\x80\x93\xE0\x82\xCC\x83`\x83"
     "b\x83v\x89\xE6\x91\x9C\x82\xF0\x8D\xEC\x82\xEA\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD"},
    // 変換できる画像ではありません（壊れているか、未知の形式です）
    {FailureReason::kNotAPicture, "not a picture the converter can decode (damaged or of an unknown kind)",
     "\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xE9\x89\xE6\x91\x9C\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"
     "\x81i\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xE9\x82\xA9\x81"
     "A\x96\xA2\x92m\x82\xCC\x8C`\x8E\xAE\x82\xC5\x82\xB7\x81j"},
    // 縮小または圧縮できませんでした
    {FailureReason::kNotScaled, "could not be scaled or coded",
     "\x8Fk\x8F\xAC\x82\xDC\x82\xBD\x82\xCD\x88\xB3\x8Fk\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82"
     "\xBD"},
    // Oggエンコーダがこの音を受け付けませんでした
    {FailureReason::kOggRefused, "the Ogg encoder refused the sound",
     "Ogg\x83G\x83\x93\x83R\x81[\x83_"
     "\x82\xAA\x82\xB1\x82\xCC\x89\xB9\x82\xF0\x8E\xF3\x82\xAF\x95t\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82"
     "\xBD"},
    // MP3エンコーダがこの音を受け付けませんでした（壊れているか、未知の形式です）
    {FailureReason::kMp3Refused, "the MP3 encoder refused the sound (damaged or of an unknown format)",
     "MP3\x83G\x83\x93\x83R\x81[\x83_"
     "\x82\xAA\x82\xB1\x82\xCC\x89\xB9\x82\xF0\x8E\xF3\x82\xAF\x95t\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82"
     "\xBD\x81i\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xE9\x82\xA9\x81"
     "A\x96\xA2\x92m\x82\xCC\x8C`\x8E\xAE\x82\xC5\x82\xB7\x81j"},
    // MP3エンコーダ（gogo.dll）が見つかりませんでした
    {FailureReason::kMp3Missing, "the MP3 encoder (gogo.dll) was not found: name its folder in VELMI_MODULE_PATH",
     "MP3\x83G\x83\x93\x83R\x81[\x83_\x81igogo."
     "dll\x81j\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD"},
    // 出力先のパスが長すぎます
    {FailureReason::kOutputPathTooLong, "output path too long",
     "\x8Fo\x97\xCD\x90\xE6\x82\xCC\x83p\x83X\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // 音のデータとしては短すぎます
    {FailureReason::kTooShort, "too short to be a sound",
     "\x89\xB9\x82\xCC\x83"
     "f\x81[\x83^\x82\xC6\x82\xB5\x82\xC4\x82\xCD\x92Z\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // <name> に書き込めませんでした（<error>）
    {FailureReason::kNotWritten, "cannot write \x02 (\x01)",
     "\x02 \x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j"},
    // 音のデータが途中で切れています（切れた所まで変換しました）
    {FailureReason::kCutShortConverted, "the sound data is cut short; converted as far as it goes",
     "\x89\xB9\x82\xCC\x83"
     "f\x81[\x83^"
     "\x82\xAA\x93r\x92\x86\x82\xC5\x90\xD8\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81i\x90\xD8\x82\xEA\x82\xBD\x8F"
     "\x8A\x82\xDC\x82\xC5\x95\xCF\x8A\xB7\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81j"},
    // 音のデータが途中で切れています
    {FailureReason::kCutShort, "the sound data is cut short",
     "\x89\xB9\x82\xCC\x83"
     "f\x81[\x83^\x82\xAA\x93r\x92\x86\x82\xC5\x90\xD8\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7"},
    // 開けませんでした（<error>）。音声は変換されていません
    {FailureReason::kVoiceIndexUnopenable, "cannot be opened (\x01); no voice was converted",
     "\x8AJ\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81i\x01\x81j\x81"
     "B\x89\xB9\x90\xBA\x82\xCD\x95\xCF\x8A\xB7\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1"},
    // 音声の索引が壊れています。音声は変換されていません
    {FailureReason::kVoiceIndexDamaged, "the voice index is damaged; no voice was converted",
     "\x89\xB9\x90\xBA\x82\xCC\x8D\xF5\x88\xF8\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81"
     "B\x89\xB9\x90\xBA\x82\xCD\x95\xCF\x8A\xB7\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1"},
    // レコードに名前がありません
    {FailureReason::kVoiceNoName, "the record has no name",
     "\x83\x8C\x83R\x81[\x83h\x82\xC9\x96\xBC\x91O\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // 音声パックには名前が長すぎます
    {FailureReason::kVoiceNameTooLong, "its name is too long for the voice pack",
     "\x89\xB9\x90\xBA\x83p\x83"
     "b\x83N\x82\xC9\x82\xCD\x96\xBC\x91O\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7"},
    // 音のデータが索引ファイルの外にあります
    {FailureReason::kVoiceOutside, "its sound lies outside the index file",
     "\x89\xB9\x82\xCC\x83"
     "f\x81[\x83^\x82\xAA\x8D\xF5\x88\xF8\x83t\x83@\x83"
     "C\x83\x8B\x82\xCC\x8AO\x82\xC9\x82\xA0\x82\xE8\x82\xDC\x82\xB7"},
    // メモリが足りません
    {FailureReason::kOutOfMemory, "out of memory",
     "\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // 音声デコーダの表がありません
    {FailureReason::kVoiceTableMissing, "the voice decoder's table is missing",
     "\x89\xB9\x90\xBA\x83"
     "f\x83R\x81[\x83_\x82\xCC\x95\x5C\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
    // 音声データが壊れています（展開できません）
    {FailureReason::kVoiceDamaged, "the voice data is damaged (it does not inflate)",
     "\x89\xB9\x90\xBA\x83"
     "f\x81[\x83^"
     "\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81i\x93W\x8AJ\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"
     "\x81j"},
    // 以降の<kind> <count> 件は書き込まれていません（<error>）
    {FailureReason::kLaterNotWritten, "and \x03 later \x02 were not written (\x01)",
     "\x88\xC8\x8D~\x82\xCC\x02 \x03 \x8C\x8F\x82\xCD\x8F\x91\x82\xAB\x8D\x9E\x82\xDC\x82\xEA\x82\xC4\x82\xA2\x82\xDC"
     "\x82\xB9\x82\xF1\x81i\x01\x81j"},
};

// What the items of each stage are called in a line that tells the stage's
// later items together: English one, English more, Japanese (Shift-JIS).
struct StageItemNames {
  const char* one;
  const char* more;
  const char* japanese;
};
constexpr StageItemNames kStageItemNames[CConvFileMake::kStages] = {
    {"picture or script", "pictures and scripts", "\x89\xE6\x91\x9C\x82\xC6\x83V\x83i\x83\x8A\x83I"},  // 画像とシナリオ
    {"music track", "music tracks",
     "\x82"
     "a\x82"
     "f\x82l"},                                                     // ＢＧＭ
    {"sound effect", "sound effects", "\x8C\xF8\x89\xCA\x89\xB9"},  // 効果音
    {"voice", "voices", "\x89\xB9\x90\xBA"},                        // 音声
};
// A line of no known stage: the run's items.
constexpr StageItemNames kItemNames = {"item", "items",
                                       "\x83"
                                       "f\x81[\x83^"};  // データ

// 。書き込んだ <count> 件は失われました
const char kJaLost[] =
    "\x81"
    "B\x8F\x91\x82\xAB\x8D\x9E\x82\xF1\x82\xBE \x03 \x8C\x8F\x82\xCD\x8E\xB8\x82\xED\x82\xEA\x82\xDC\x82\xB5\x82\xBD";
// 。その後の <count> 件は書き込まれていません
const char kJaNotWritten[] =
    "\x81"
    "B\x82\xBB\x82\xCC\x8C\xE3\x82\xCC \x03 "
    "\x8C\x8F\x82\xCD\x8F\x91\x82\xAB\x8D\x9E\x82\xDC\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1";
// （<count> 件）: the items a cause stands for, where its text has no count
const char kJaItems[] = "\x81i\x03 \x8C\x8F\x81j";
// 。<name> が残っています
const char kJaLeftBehind[] =
    "\x81"
    "B\x02 \x82\xAA\x8E"
    "c\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7";

// 。<folder> には以前のファイルが <count> 個そのまま残っています: of a folded
// line's files
const char kJaEarlierFilesKept[] =
    "\x81"
    "B\x02 \x82\xC9\x82\xCD\x88\xC8\x91O\x82\xCC\x83t\x83@\x83"
    "C\x83\x8B\x82\xAA \x03 \x8C\xC2\x82\xBB\x82\xCC\x82\xDC\x82\xDC\x8E"
    "c\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7";

// 。以前のファイルはそのまま残っています
const char kJaEarlierKept[] =
    "\x81"
    "B\x88\xC8\x91O\x82\xCC\x83t\x83@\x83"
    "C\x83\x8B\x82\xCD\x82\xBB\x82\xCC\x82\xDC\x82\xDC\x8E"
    "c\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7";

// 変換できなかったデータが <count> 件ありました。
const char kJaNotConverted[] =
    "\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xC8\x82\xA9\x82\xC1\x82\xBD\x83"
    "f\x81[\x83^\x82\xAA \x03 \x8C\x8F\x82\xA0\x82\xE8\x82\xDC\x82\xB5\x82\xBD\x81"
    "B";
// 書き込みましたが、ディスクが確かめられなかったファイルが <count> 件ありました。
const char kJaUnconfirmedFiles[] =
    "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xDC\x82\xB5\x82\xBD\x82\xAA\x81"
    "A\x83"
    "f\x83"
    "B\x83X\x83N\x82\xAA\x8Am\x82\xA9\x82\xDF\x82\xE7\x82\xEA\x82\xC8\x82\xA9\x82\xC1\x82\xBD\x83t\x83@\x83"
    "C\x83\x8B\x82\xAA \x03 \x8C\x8F\x82\xA0\x82\xE8\x82\xDC\x82\xB5\x82\xBD\x81"
    "B";
// ほか : the box's last line, before what the rest stand for
const char kJaMore[] = "\x82\xD9\x82\xA9 ";
// <count> 件
const char kJaMoreItems[] = "\x03 \x8C\x8F";
// 、
const char kJaAnd[] =
    "\x81"
    "A";
// ディスクが確かめられなかったファイル <count> 件
const char kJaMoreFiles[] =
    "\x83"
    "f\x83"
    "B\x83X\x83N\x82\xAA\x8Am\x82\xA9\x82\xDF\x82\xE7\x82\xEA\x82\xC8\x82\xA9\x82\xC1\x82\xBD\x83t\x83@\x83"
    "C\x83\x8B \x03 \x8C\x8F";

const char kEnLost[] = "; the \x03 items written to it are lost";
const char kEnNotWritten[] = "; \x03 later items were not written";
const char kEnLeftBehind[] = "; \x02 was left behind";
const char kEnEarlierKept[] = "; the earlier file was kept";
const char kEnRenamedFile[] = "; 1 file was renamed into it";
const char kEnRenamedFiles[] = "; \x03 files were renamed into it";
const char kEnEarlierFileKept[] = "; 1 earlier file was kept in \x02";
const char kEnEarlierFilesKept[] = "; \x03 earlier files were kept in \x02";

// The text with its marks replaced.
std::string Fill(const char* text, const std::string& error, const std::string& detail, int32_t count) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == kErrorMark) {
      out += error;
    } else if (*p == kDetailMark) {
      out += detail;
    } else if (*p == kCountMark) {
      out += std::to_string(count);
    } else {
      out += *p;
    }
  }
  return out;
}

// The table holds every reason once, in the order of the reasons.
constexpr bool TableInOrder() {
  for (size_t i = 0; i < sizeof kReasonTexts / sizeof kReasonTexts[0]; ++i)
    if (kReasonTexts[i].why != FailureReason(i)) return false;
  return sizeof kReasonTexts / sizeof kReasonTexts[0] == size_t(FailureReason::kLaterNotWritten) + 1;
}
static_assert(TableInOrder());

const ReasonTexts& TextsOf(FailureReason why) { return kReasonTexts[size_t(why)]; }

// The path without the folder it lies in, when it lies in it.  Only the
// folder's last character can end it with a separator: a last byte 0x5C may
// be the trail byte of ソ, and ".../ソ" does not hold ".../ソフト/data".
std::string RelativeTo(const std::string& path, const char* folder) {
  const size_t n = folder ? std::strlen(folder) : 0;
  if (n == 0 || path.compare(0, n, folder) != 0) return std::string();
  size_t start = n;
  if (!SjisEndsInSeparator(folder) && start < path.size() && path[start] != '\\' && path[start] != '/')
    return std::string();
  while (start < path.size() && (path[start] == '\\' || path[start] == '/')) ++start;
  return start < path.size() ? path.substr(start) : std::string();
}

// A path of the run as the box shows it: inside the game folder or the
// output folder, relative to it; '/' between folders, as the converter's
// other lines show them.
std::string BoxPath(const std::string& path, const char* gameFolder, const char* outputFolder) {
  std::string relative = RelativeTo(path, gameFolder);
  if (relative.empty()) relative = RelativeTo(path, outputFolder);
  std::string shown = relative.empty() ? path : relative;
  SjisSlashSeparators(shown.data());
  return shown;
}

// The error's words from the table both programs share.
std::string ErrorWords(FileFailure kind, DWORD error, bool japanese) {
  char words[kFileFailureChars];
  FileFailureReason(words, sizeof words, kind, error, japanese ? 1 : 0);
  return words;
}

// The folder that holds the path (code page 932, '\' or '/' between
// folders), or the path when it names none.
std::string FolderOf(const std::string& path) {
  const char* back = SjisFindLastChar(path.c_str(), '\\');
  const char* slash = SjisFindLastChar(path.c_str(), '/');
  const char* cut = !back || (slash && slash > back) ? slash : back;
  return cut ? path.substr(0, size_t(cut - path.c_str())) : path;
}

}  // namespace

std::string ErrorReason(DWORD error, const char* path) {
  return ErrorWords(ClassifyFileFailure(path, error), error, false);
}

namespace {

const StageItemNames& StageItemsOf(const CConvFileMake::Failure& f) {
  return f.stage >= 0 && f.stage < CConvFileMake::kStages ? kStageItemNames[f.stage] : kItemNames;
}

// A folder whose flush failed stands for the files renamed into it.
bool UnconfirmedFolder(const CConvFileMake::Failure& f) {
  return f.why == FailureReason::kPackUnconfirmed && f.folderFlush;
}

// A line that tells a stage's later items reads "<first> and N later
// <items> were not written (<error>)"; every other "<item>: <reason>".
const char* Joint(const CConvFileMake::Failure& f) { return f.why == FailureReason::kLaterNotWritten ? " " : ": "; }

}  // namespace

std::string FailureReasonText(const CConvFileMake::Failure& f) {
  const std::string error = ErrorWords(f.errorKind, f.error, false);
  if (f.why == FailureReason::kLaterNotWritten) {
    const StageItemNames& names = StageItemsOf(f);
    std::string text = Fill(TextsOf(f.why).english, error, f.items == 2 ? names.one : names.more, f.items - 1);
    if (f.earlierFilesKept > 0)
      text += Fill(f.earlierFilesKept == 1 ? kEnEarlierFileKept : kEnEarlierFilesKept, "", ShownPath(FolderOf(f.item)),
                   f.earlierFilesKept);
    return text;
  }
  std::string text = Fill(TextsOf(f.why).english, error, ShownPath(f.detail), 0);
  if (f.lost > 0) text += Fill(kEnLost, "", "", f.lost);
  if (f.notWritten > 0) text += Fill(kEnNotWritten, "", "", f.notWritten);
  if (!f.leftBehind.empty()) text += Fill(kEnLeftBehind, "", ShownPath(f.leftBehind), 0);
  if (f.earlierKept) text += kEnEarlierKept;
  if (UnconfirmedFolder(f)) text += Fill(f.items == 1 ? kEnRenamedFile : kEnRenamedFiles, "", "", f.items);
  return text;
}

std::string FailureText(const CConvFileMake::Failure& f) { return ShownPath(f.item) + Joint(f) + FailureReasonText(f); }

std::string FailureBoxLine(const CConvFileMake::Failure& f, const char* gameFolder, const char* outputFolder) {
  const std::string path = BoxPath(f.item, gameFolder, outputFolder) + Joint(f);
  const std::string error = ErrorWords(f.errorKind, f.error, true);
  if (f.why == FailureReason::kLaterNotWritten) {
    std::string text = path + Fill(TextsOf(f.why).japanese, error, StageItemsOf(f).japanese, f.items);
    if (f.earlierFilesKept > 0)
      text += Fill(kJaEarlierFilesKept, "", BoxPath(FolderOf(f.item), gameFolder, outputFolder), f.earlierFilesKept);
    return text;
  }
  std::string text = path + Fill(TextsOf(f.why).japanese, error, BoxPath(f.detail, gameFolder, outputFolder), 0);
  // A pack that was never made tells how many items it took with it, a
  // folder the disk did not confirm how many files were renamed into it.
  const bool packNotMade = f.why == FailureReason::kPicturePackNotCreated ||
                           f.why == FailureReason::kVoicePackNotCreated ||
                           f.why == FailureReason::kVoicePackPathTooLong;
  if ((packNotMade && f.items > 1) || UnconfirmedFolder(f)) text += Fill(kJaItems, "", "", f.items);
  if (f.lost > 0) text += Fill(kJaLost, "", "", f.lost);
  if (f.notWritten > 0) text += Fill(kJaNotWritten, "", "", f.notWritten);
  if (!f.leftBehind.empty()) text += Fill(kJaLeftBehind, "", BoxPath(f.leftBehind, gameFolder, outputFolder), 0);
  if (f.earlierKept) text += kJaEarlierKept;
  return text;
}

std::string FailureBox(std::vector<CConvFileMake::Failure> failures, const char* gameFolder, const char* outputFolder) {
  if (failures.empty()) return {};
  const auto unconfirmed = [](const CConvFileMake::Failure& f) { return f.why == FailureReason::kPackUnconfirmed; };
  // Each line stands for its items (or, the disk not confirming, its files).
  int32_t items = 0, files = 0;
  for (const CConvFileMake::Failure& f : failures) (unconfirmed(f) ? files : items) += f.items;
  std::string box;
  const auto addLine = [&box](const std::string& line) {
    if (!box.empty()) box += '\n';
    box += line;
  };
  if (items > 0) addLine(Fill(kJaNotConverted, "", "", items));
  if (files > 0) addLine(Fill(kJaUnconfirmedFiles, "", "", files));
  // The causes (a pack, a folder, a stage's later items) come first, then
  // the single items; the first lines name what failed, and what the rest
  // stand for is counted, items and files apart.
  std::stable_partition(failures.begin(), failures.end(), [](const CConvFileMake::Failure& f) { return f.cause; });
  constexpr size_t kBoxLines = 10;
  int32_t moreItems = 0, moreFiles = 0;
  for (size_t i = 0; i < failures.size(); ++i) {
    if (i < kBoxLines) {
      addLine(FailureBoxLine(failures[i], gameFolder, outputFolder));
    } else {
      (unconfirmed(failures[i]) ? moreFiles : moreItems) += failures[i].items;
    }
  }
  if (failures.size() > kBoxLines) {
    std::string rest = kJaMore;
    if (moreItems > 0 || moreFiles == 0) rest += Fill(kJaMoreItems, "", "", moreItems);
    if (moreItems > 0 && moreFiles > 0) rest += kJaAnd;
    if (moreFiles > 0) rest += Fill(kJaMoreFiles, "", "", moreFiles);
    addLine(rest);
  }
  return box;
}

std::string RunSummary(const CConvFileMake& job) {
  const int converted = job.ConvertedCount(), failed = job.FailedItemCount(), passed = job.PassedOverCount();
  std::string text = std::to_string(converted) + " of " + std::to_string(job.TotalCount()) + " items converted, " +
                     std::to_string(failed) + " failed";
  if (passed > 0) text += ", " + std::to_string(passed) + " passed over";
  // Written, their items converted, and still a failure of the run.
  if (const int files = job.UnconfirmedFileCount(); files > 0)
    text += ", " + std::to_string(files) + (files == 1 ? " file" : " files") + " not confirmed by the disk";
  if (const int folders = job.UnlistedFolderCount(); folders > 0)
    text += "; the files of " + std::to_string(folders) + (folders == 1 ? " folder" : " folders") +
            " that could not be listed were not counted";
  if (!job.VoicesNotCounted().empty()) text += "; the voices were not counted: " + job.VoicesNotCounted();
  return text;
}

// The converter's dialog driven headless, as a user would: defaults, the
// folder proposal, the refusals, whole runs and the handlers' effects.
#include <dlfcn.h>
#include <pthread.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "converter/app/conv_velmi_dlg.h"
#include "converter/app/win_edit.h"
#include "converter/conv_file_make.h"
#include "formats/le_bytes.h"
#include "tests/dialog/dialog_fixture.h"
#include "tools/sample_game.h"
#include "velmi_mfc.h"
#include "velmi_platform.h"

// Thread creation fails while this is set (the C runtime's thread call
// reports an error, as when the system is out of threads).
static std::atomic<bool> g_failThreads{false};

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  using Fn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_create"));
  if (g_failThreads.load()) return EAGAIN;
  return real(thread, attr, start, arg);
}

namespace {

namespace fs = std::filesystem;
using velmi_mfc::HeadlessDialog;
using velmi_mfc::SjisToUtf8;

std::string U8(const std::string& sjis) { return SjisToUtf8(sjis); }

CConvVelmiDlg* Dlg(HeadlessDialog& d) { return static_cast<CConvVelmiDlg*>(d.Window()); }

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    velmi_mfc::UseHeadless(true);
    velmi_mfc::TakeMessageBoxLog();
    velmi_mfc::SetMessageBoxAnswer(nullptr);
    velmi_mfc::SetFolderAnswer(nullptr);
  }
  void TearDown() override { g_failThreads = false; }

  // Runs the dialog with the driver; returns DoModal's result.
  INT_PTR Run(velmi_mfc::Driver driver) {
    velmi_mfc::SetHeadlessDriver(std::move(driver));
    CConvVelmiDlg dlg;
    return dlg.DoModal();
  }

  void ProposeGame(bool trailingBackslash = true) {
    box.WriteGame();
    box.SetDataDir(dtest::LayerPath(box.GameFolder()) + (trailingBackslash ? "\\" : ""));
  }

  dtest::Sandbox box;
};

TEST_F(DialogTest, OpensWithTheDefaultsAndTheProposedFolder) {
  ProposeGame();
  bool ran = false;
  Run([&](HeadlessDialog& d) {
    ran = true;
    EXPECT_EQ(U8(d.Text(0)), "convVelmi[ver.1.01]Ｑ．Ｒ．Ⅱ専用コンバータ");
    // Combo boxes: items from the template, selections as the settings.
    struct Combo {
      int id, items, selection;
      const char* first;
      const char* last;
    } combos[] = {
        {IDC_BGM_BITRATE, 13, 3, "16/8kbit", "320/160kbit"},
        {IDC_BGM_RATE, 2, 0, "22.05kHz", "44.10kHz"},
        {IDC_VOICE_BITRATE, 13, 3, "8kbit", "160kbit"},
        {IDC_VOICE_RATE, 2, 0, "22.05kHz", "44.10kHz"},
        {IDC_SCREEN, 2, 0, "320*240", "640*480"},
        {IDC_QUALITY, 4, 1, "高画質(100)", "最低画質(70)"},
    };
    for (const Combo& c : combos) {
      SCOPED_TRACE(c.id);
      auto items = d.Items(c.id);
      ASSERT_EQ(int(items.size()), c.items);
      EXPECT_EQ(U8(items.front()), c.first);
      EXPECT_EQ(U8(items.back()), c.last);
      EXPECT_EQ(d.Selection(c.id), c.selection);
    }
    EXPECT_EQ(U8(d.Items(IDC_QUALITY)[1]), "標準(90)");
    for (int id : {IDC_STEREO, IDC_DO_PICTURES, IDC_DO_MUSIC, IDC_DO_VOICES, IDC_ENCODER_MP3})
      EXPECT_EQ(d.Check(id), 1) << id;
    EXPECT_EQ(d.Check(IDC_ENCODER_OGG), 0);
    EXPECT_EQ(U8(d.Text(IDC_STEREO)), "ｽﾃﾚｵ");
    EXPECT_EQ(U8(d.Text(IDC_OGG_NOTE)), "[OGG]の場合は[32/16kbit]以下は[48/24kbit]に強制設定。");
    EXPECT_EQ(U8(d.Text(IDC_START)), "開始(&S)");
    EXPECT_EQ(U8(d.Text(IDC_BROWSE)), "参照(&F)");
    EXPECT_EQ(d.Text(IDC_PROGRESS), "");
    EXPECT_EQ(d.Text(IDC_GOGO_VERSION).rfind("GOGO.DLL : ", 0), 0u);
    EXPECT_GT(d.Text(IDC_GOGO_VERSION).size(), std::strlen("GOGO.DLL : "));
    EXPECT_EQ(d.Text(IDC_OGGENC_VERSION).rfind("OGGENC.DLL : ", 0), 0u);
    EXPECT_GT(d.Text(IDC_OGGENC_VERSION).size(), std::strlen("OGGENC.DLL : "));
    // The folder keeps its trailing '\'; the edit shows it without, with '/'.
    EXPECT_EQ(d.Text(IDC_SOURCE_EDIT), box.GameFolder());
    EXPECT_EQ(std::string(Dlg(d)->m_sourceFolder), dtest::LayerPath(box.GameFolder()) + "\\");
    EXPECT_EQ(fs::path(std::string(Dlg(d)->m_outputFolder)), fs::path(dtest::LayerPath(box.OutputFolder())));
    EXPECT_EQ(Dlg(d)->m_mp3Present, 1);
    EXPECT_EQ(Dlg(d)->m_job, nullptr);
    EXPECT_TRUE(d.IsEnabled(IDC_START));
    EXPECT_TRUE(d.HasTimer(1));
    auto menu = d.SystemMenu();
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].first, 0u);  // separator
    EXPECT_EQ(menu[1].first, UINT(IDM_ABOUTBOX));
    EXPECT_EQ(U8(menu[1].second), "convVelmi のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    EXPECT_EQ(d.Style(IDC_SOURCE_EDIT) & ES_READONLY, DWORD(ES_READONLY));
  });
  EXPECT_TRUE(ran);
}

// Each refusal: what Start shows, and that no run began.
TEST_F(DialogTest, StartRefusesWithTheExactMessages) {
  struct Case {
    const char* name;
    bool game, gogo, ogg;
    std::string dataDir;  // "" = no key; "game" = the game folder; "empty" = a folder without QR2.exe
    const char* text;
    const char* caption;
  } cases[] = {
      {"no folder: nothing happens", true, true, false, "", nullptr, nullptr},
      {"no MP3 library", true, false, false, "game", "<< GOGO.DLL >>が見つかりませんでした。", "ＤＬＬ異常"},
      {"no MP3 library, Ogg chosen", true, false, true, "game", "<< GOGO.DLL >>が見つかりませんでした。", "ＤＬＬ異常"},
      {"not the game's folder", false, true, false, "empty", "『Ｑ．Ｒ．Ｐ．Ｃ．』のフォルダを指定して下さい。",
       "フォルダ異常"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.game) box.WriteGame();
    std::string dir = c.dataDir == "game"    ? dtest::LayerPath(box.GameFolder())
                      : c.dataDir == "empty" ? dtest::LayerPath(box.OutputFolder())
                                             : "";
    box.SetDataDir(dir);
    dtest::Sandbox::SetMp3Module(c.gogo);
    Run([&](HeadlessDialog& d) {
      if (c.ogg) d.Click(IDC_ENCODER_OGG);
      d.Click(IDC_START);
      EXPECT_TRUE(d.IsEnabled(IDC_START));
      EXPECT_EQ(Dlg(d)->m_job, nullptr);
      d.Tick();
      EXPECT_EQ(d.Text(IDC_PROGRESS), "");
    });
    auto boxes = velmi_mfc::TakeMessageBoxLog();
    if (!c.text) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(U8(boxes[0].text), c.text);
      EXPECT_EQ(U8(boxes[0].caption), c.caption);
      EXPECT_EQ(boxes[0].type & 0xF0, UINT(MB_ICONWARNING));
    }
    EXPECT_FALSE(fs::exists(box.OutputFolder() + "/data"));
  }
}

// A current directory too long for the dialog's buffer leaves no output
// folder; Start must refuse rather than write from the root down.
TEST_F(DialogTest, StartRefusesWhenTheOutputFolderIsUnknown) {
  ProposeGame();
  const fs::path top = fs::path(box.OutputFolder()) / "deep";
  struct Deep {
    fs::path top;
    explicit Deep(const fs::path& t) : top(t) {
      fs::create_directory(top);
      fs::current_path(top);
      // Relative steps: the whole path is never handed to the system at once.
      for (int i = 0; i < 6; ++i) {
        const std::string name = std::to_string(i) + std::string(200, 'd');
        fs::create_directory(name);
        fs::current_path(name);
      }
    }
    ~Deep() {
      std::error_code ec;
      fs::current_path(top.parent_path(), ec);
      fs::remove_all(top, ec);
    }
  };
  const bool rootDataBefore = fs::exists("/data");
  {
    Deep deep(top);
    ASSERT_GT(fs::current_path().string().size(), 1023u);
    Run([&](HeadlessDialog& d) {
      EXPECT_EQ(std::string(Dlg(d)->m_outputFolder), "");
      d.Click(IDC_START);
      EXPECT_EQ(Dlg(d)->m_job, nullptr);
      EXPECT_TRUE(d.IsEnabled(IDC_START));
      d.Tick();
      EXPECT_EQ(d.Text(IDC_PROGRESS), "");
    });
    EXPECT_TRUE(fs::is_empty(fs::current_path()));
  }
  auto boxes = velmi_mfc::TakeMessageBoxLog();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(U8(boxes[0].text), "出力先のフォルダを取得できませんでした。");
  EXPECT_EQ(U8(boxes[0].caption), "フォルダ異常");
  EXPECT_EQ(boxes[0].type, UINT(MB_ICONWARNING | MB_OK));
  EXPECT_EQ(fs::exists("/data"), rootDataBefore);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_EQ(fs::current_path(), fs::path(box.OutputFolder()));
  EXPECT_FALSE(fs::exists(box.OutputFolder() + "/data"));
}

struct Progress {
  std::vector<std::string> lines;  // UTF-8, each new text of the label
  bool disabledWhileRunning = true;
  bool enabledAfter = false;
  bool labelEmptiedAfter = false;
};

// Ticks until the run is over, as the 100 ms timer would.
Progress FollowRun(HeadlessDialog& d) {
  Progress p;
  int guard = 0;
  while (Dlg(d)->m_job && ++guard < 60000) {
    if (d.IsEnabled(IDC_START)) p.disabledWhileRunning = false;
    d.Tick();
    std::string t = U8(d.Text(IDC_PROGRESS));
    if (!t.empty() && (p.lines.empty() || p.lines.back() != t)) p.lines.push_back(t);
    Sleep(5);
  }
  p.enabledAfter = d.IsEnabled(IDC_START);
  p.labelEmptiedAfter = d.Text(IDC_PROGRESS).empty();
  return p;
}

std::vector<std::string> PackNames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> names;
  if (b.size() < 16 || std::memcmp(b.data(), "RLZ2", 4) != 0) return names;
  uint32_t n = GetLe32(&b[4]);
  for (uint32_t i = 0; i < n && 16 + 84 * (i + 1) <= b.size(); ++i)
    names.emplace_back(reinterpret_cast<const char*>(&b[16 + 84 * i]),
                       strnlen(reinterpret_cast<const char*>(&b[16 + 84 * i]), 64));
  return names;
}

TEST_F(DialogTest, RunsTheSampleGameShowingProgressUntilTheEnd) {
  ProposeGame();
  Progress p;
  Run([&](HeadlessDialog& d) {
    d.Select(IDC_SCREEN, 1);   // 640*480: scale 80, the "_v" pack
    d.Select(IDC_QUALITY, 0);  // 高画質(100)
    d.Click(IDC_START);
    ASSERT_NE(Dlg(d)->m_job, nullptr);
    EXPECT_EQ(Dlg(d)->m_job->m_scalePercent, 80);
    EXPECT_EQ(Dlg(d)->m_job->m_qualityCode, 1);
    EXPECT_EQ(Dlg(d)->m_job->m_encoder, 0);
    EXPECT_FALSE(d.IsEnabled(IDC_START));
    d.Click(IDC_START);  // a disabled button cannot be pressed
    p = FollowRun(d);
  });
  EXPECT_TRUE(p.disabledWhileRunning);
  EXPECT_TRUE(p.enabledAfter);
  EXPECT_TRUE(p.labelEmptiedAfter);
  ASSERT_GE(p.lines.size(), 2u);  // the line moves
  // "変換データ数：done / total (name)", done never going back; a name
  // below a folder shows '/'.
  int lastDone = -1;
  bool sawFolder = false;
  for (const std::string& line : p.lines) {
    SCOPED_TRACE(line);
    const std::string head = "変換データ数：";
    ASSERT_EQ(line.rfind(head, 0), 0u);
    int done = -1, total = -1, used = 0;
    ASSERT_EQ(std::sscanf(line.c_str() + head.size(), "%d / %d (%n", &done, &total, &used), 2);
    EXPECT_LE(done, total);
    EXPECT_GE(done, lastDone);
    EXPECT_EQ(line.back(), ')');
    EXPECT_EQ(line.find('\\'), std::string::npos);
    if (line.find('/', head.size() + used) != std::string::npos) sawFolder = true;
    lastDone = done;
  }
  EXPECT_TRUE(sawFolder);
  EXPECT_TRUE(velmi_mfc::TakeMessageBoxLog().empty());  // no failures to report
  const std::string pack = box.OutputFolder() + "/data/grpack_v.mlz";
  auto names = PackNames(pack);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "chip.rbp");
  EXPECT_FALSE(fs::exists(box.OutputFolder() + "/data/grpack.mlz"));
  EXPECT_FALSE(fs::exists(pack + ".tmp"));
}

TEST_F(DialogTest, ClosingDuringARunLeavesAFinishedPack) {
  ProposeGame();
  Run([&](HeadlessDialog& d) {
    d.Click(IDC_START);
    ASSERT_NE(Dlg(d)->m_job, nullptr);
    d.Close();
    EXPECT_TRUE(d.Ended());
  });
  // The dialog is gone: the run was waited for, its pack is whole.
  const std::string pack = box.OutputFolder() + "/data/grpack.mlz";
  auto names = PackNames(pack);
  ASSERT_FALSE(names.empty());
  for (const auto& n : names) EXPECT_FALSE(n.empty());
  EXPECT_FALSE(fs::exists(pack + ".tmp"));
}

TEST_F(DialogTest, AThreadThatCannotStartIsReportedAndStartComesBack) {
  ProposeGame();
  Run([&](HeadlessDialog& d) {
    g_failThreads = true;
    d.Click(IDC_START);
    g_failThreads = false;
    EXPECT_EQ(Dlg(d)->m_job, nullptr);
    EXPECT_TRUE(d.IsEnabled(IDC_START));
    auto boxes = velmi_mfc::TakeMessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(U8(boxes[0].text), "変換スレッドを開始できませんでした。");
    // Pressing again now starts a run.
    d.Click(IDC_START);
    EXPECT_NE(Dlg(d)->m_job, nullptr);
    FollowRun(d);
  });
  EXPECT_FALSE(PackNames(box.OutputFolder() + "/data/grpack.mlz").empty());
}

TEST_F(DialogTest, RunWithFailuresSaysSo) {
  box.WriteGame();
  // A picture the decoder cannot read.
  std::ofstream(box.GameFolder() + "/AdvData/broken.zev", std::ios::binary) << "not a picture";
  box.SetDataDir(dtest::LayerPath(box.GameFolder()));
  Run([&](HeadlessDialog& d) {
    d.Click(IDC_DO_MUSIC);
    d.Click(IDC_DO_VOICES);
    d.Click(IDC_START);
    ASSERT_NE(Dlg(d)->m_job, nullptr);
    EXPECT_EQ(Dlg(d)->m_job->m_doMusic, 0);
    EXPECT_EQ(Dlg(d)->m_job->m_doVoices, 0);
    FollowRun(d);
  });
  auto boxes = velmi_mfc::TakeMessageBoxLog();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(U8(boxes[0].caption), "変換エラー");
  EXPECT_NE(U8(boxes[0].text).find("変換できなかったデータが 1 件"), std::string::npos) << U8(boxes[0].text);
}

// The box names the first ten failures, relative to the game folder and in
// its own language, then counts the rest; the dialog remembers that a run
// failed after a later clean run, for the program's exit status.
TEST_F(DialogTest, FailureBoxNamesTheFailedItems) {
  box.WriteGame();
  const int broken = 12;
  for (int i = 0; i < broken; ++i)
    std::ofstream(box.GameFolder() + "/AdvData/broken" + std::to_string(100 + i) + ".zev", std::ios::binary)
        << "not a picture";
  box.SetDataDir(dtest::LayerPath(box.GameFolder()));
  bool failedAfterCleanRun = false;
  Run([&](HeadlessDialog& d) {
    d.Click(IDC_DO_MUSIC);
    d.Click(IDC_DO_VOICES);
    EXPECT_FALSE(Dlg(d)->HadFailures());
    d.Click(IDC_START);
    FollowRun(d);
    EXPECT_TRUE(Dlg(d)->HadFailures());
    for (int i = 0; i < broken; ++i)
      fs::remove(box.GameFolder() + "/AdvData/broken" + std::to_string(100 + i) + ".zev");
    d.Click(IDC_START);
    FollowRun(d);
    failedAfterCleanRun = Dlg(d)->HadFailures();
  });
  EXPECT_TRUE(failedAfterCleanRun);
  auto boxes = velmi_mfc::TakeMessageBoxLog();
  ASSERT_EQ(boxes.size(), 1u);  // the clean run shows none
  const std::string text = U8(boxes[0].text);
  std::vector<std::string> lines;
  for (size_t start = 0, end; start <= text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 12u) << text;
  EXPECT_EQ(lines[0], "変換できなかったデータが 12 件ありました。");
  for (size_t i = 1; i <= 10; ++i) {
    EXPECT_EQ(lines[i].rfind("AdvData/broken1", 0), 0u) << lines[i];
    EXPECT_NE(lines[i].find(".zev: 変換できる画像ではありません（壊れているか、未知の形式です）"), std::string::npos)
        << lines[i];
  }
  EXPECT_EQ(lines[11], "ほか 2 件");
}

// A run whose only failure is a pack the disk did not confirm: every item
// was converted, so the box tells no data not converted, only the file; the
// run still counts as failed, for the program's exit status.
TEST_F(DialogTest, APackTheDiskDidNotConfirmIsNoDataNotConverted) {
  box.WriteGame();
  box.SetDataDir(dtest::LayerPath(box.GameFolder()));
  VelmiFailFolderFlush(0);  // the pack's rename is not confirmed
  bool failed = false;
  Run([&](HeadlessDialog& d) {
    d.Click(IDC_DO_MUSIC);
    d.Click(IDC_DO_VOICES);
    d.Click(IDC_START);
    FollowRun(d);
    failed = Dlg(d)->HadFailures();
  });
  VelmiFailFolderFlush(-1);
  EXPECT_TRUE(failed);
  EXPECT_FALSE(PackNames(box.OutputFolder() + "/data/grpack.mlz").empty());
  auto boxes = velmi_mfc::TakeMessageBoxLog();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(U8(boxes[0].caption), "変換エラー");
  EXPECT_EQ(U8(boxes[0].text),
            "書き込みましたが、ディスクが確かめられなかったファイルが 1 件ありました。\n"
            "data/grpack.mlz: "
            "書き込みましたが、ディスクが書き込みを確かめられませんでした（ディスクの読み書きに失敗しました）");
}

TEST_F(DialogTest, HandlersKeepTheSettingsInStep) {
  Run([&](HeadlessDialog& d) {
    CConvVelmiDlg* dlg = Dlg(d);
    struct Sel {
      int id, index;
      int32_t CConvVelmiDlg::*field;
    } sels[] = {
        {IDC_BGM_BITRATE, 12, &CConvVelmiDlg::m_bgmBitrateIndex},
        {IDC_BGM_RATE, 1, &CConvVelmiDlg::m_bgmRateIndex},
        {IDC_VOICE_BITRATE, 0, &CConvVelmiDlg::m_voiceBitrateIndex},
        {IDC_VOICE_RATE, 1, &CConvVelmiDlg::m_voiceRateIndex},
        {IDC_SCREEN, 1, &CConvVelmiDlg::m_screenIndex},
        {IDC_QUALITY, 3, &CConvVelmiDlg::m_qualityIndex},
    };
    for (const Sel& s : sels) {
      d.Select(s.id, s.index);
      EXPECT_EQ(dlg->*s.field, s.index) << s.id;
    }
    // The stereo box flips the flag; twice restores it.
    d.Click(IDC_STEREO);
    EXPECT_EQ(dlg->m_stereo, 0);
    EXPECT_EQ(d.Check(IDC_STEREO), 0);
    d.Click(IDC_STEREO);
    EXPECT_EQ(dlg->m_stereo, 1);
    // Radio buttons: one of the two.
    d.Click(IDC_ENCODER_OGG);
    EXPECT_EQ(d.Check(IDC_ENCODER_MP3), 0);
    EXPECT_EQ(d.Check(IDC_ENCODER_OGG), 1);
    // The about item does nothing; the window stays.
    d.SystemCommand(IDM_ABOUTBOX);
    d.SystemCommand(IDM_ABOUTBOX | 0x5);
    EXPECT_FALSE(d.Ended());
    EXPECT_TRUE(velmi_mfc::TakeMessageBoxLog().empty());
    // Minimised, the icon is drawn centred in the client area.
    d.SetIconic(true);
    d.Send(WM_PAINT);
    RECT r = velmi_mfc::DialogClientRect(251, 193);
    auto draw = velmi_mfc::LastIconDraw();
    EXPECT_EQ(draw.x, (r.right - 32 + 1) / 2);
    EXPECT_EQ(draw.y, (r.bottom - 32 + 1) / 2);
    EXPECT_NE(draw.icon, nullptr);
    EXPECT_EQ(HICON(d.Send(WM_QUERYDRAGICON)), draw.icon);
  });
}

// What Start hands to the job, for the defaults and for every control moved.
// Nothing is ticked for conversion, so each run ends at once.
TEST_F(DialogTest, StartHandsTheChosenSettingsToTheJob) {
  ProposeGame();
  struct Case {
    const char* name;
    int screen, quality, bgmBitrate, bgmRate, voiceBitrate, voiceRate;
    bool stereoOff, ogg;
    int scale, qualityCode;
  } cases[] = {
      {"defaults", -1, -1, -1, -1, -1, -1, false, false, 40, 2},
      {"every control moved", 1, 3, 12, 1, 0, 1, true, true, 80, 4},
      {"highest quality, small screen", 0, 0, 5, 0, 7, 1, false, false, 40, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run([&](HeadlessDialog& d) {
      for (int id : {IDC_DO_PICTURES, IDC_DO_MUSIC, IDC_DO_VOICES}) d.Click(id);
      const std::pair<int, int> sels[] = {{IDC_SCREEN, c.screen},
                                          {IDC_QUALITY, c.quality},
                                          {IDC_BGM_BITRATE, c.bgmBitrate},
                                          {IDC_BGM_RATE, c.bgmRate},
                                          {IDC_VOICE_BITRATE, c.voiceBitrate},
                                          {IDC_VOICE_RATE, c.voiceRate}};
      for (auto [id, index] : sels)
        if (index >= 0) d.Select(id, index);
      if (c.stereoOff) d.Click(IDC_STEREO);
      if (c.ogg) d.Click(IDC_ENCODER_OGG);
      d.Click(IDC_START);
      CConvFileMake* job = Dlg(d)->m_job;
      ASSERT_NE(job, nullptr);
      EXPECT_EQ(job->m_scalePercent, c.scale);
      EXPECT_EQ(job->m_qualityCode, c.qualityCode);
      EXPECT_EQ(job->m_bitrateIndex[0], c.bgmBitrate < 0 ? 3 : c.bgmBitrate);
      EXPECT_EQ(job->m_bitrateIndex[1], c.voiceBitrate < 0 ? 3 : c.voiceBitrate);
      EXPECT_EQ(job->m_rate44k[0], c.bgmRate < 0 ? 0 : c.bgmRate);
      EXPECT_EQ(job->m_rate44k[1], c.voiceRate < 0 ? 0 : c.voiceRate);
      EXPECT_EQ(job->m_stereo[0], c.stereoOff ? 0 : 1);
      EXPECT_EQ(job->m_encoder, c.ogg ? 1 : 0);
      EXPECT_EQ(job->m_doPictures + job->m_doMusic + job->m_doVoices, 0);
      EXPECT_EQ(std::string(job->m_sourceFolder), dtest::LayerPath(box.GameFolder()) + "\\");
      EXPECT_EQ(std::string(job->m_outputFolder), std::string(Dlg(d)->m_outputFolder));
      FollowRun(d);
    });
  }
}

// The field shows '/' between folders whichever separator DataDir uses;
// names whose Shift-JIS ends in the byte 0x5C (ソ, 表, 能) keep their bytes,
// in the field and in the run, which converts the game.
TEST_F(DialogTest, FolderFieldShowsSlashesAndKeepsTrailBytes) {
  const std::string game = box.Root() + "/\xE3\x82\xBD\xE8\xA1\xA8/\xE8\x83\xBD";  // ソ表/能
  std::string error;
  ASSERT_TRUE(vtools::WriteSampleGame(game, vtools::SampleGameTable(vtools::SampleSize::Small), &error)) << error;
  const std::string sjisGame = velmi_mfc::Utf8ToSjis(game);
  ASSERT_EQ(sjisGame.find("\x83\x5C\x95\x5C/\x94\x5C"), sjisGame.size() - 7);
  for (const std::string& dataDir : {dtest::LayerPath(sjisGame) + "\\", sjisGame, sjisGame + "/"}) {
    SCOPED_TRACE(dataDir);
    box.SetDataDir(dataDir);
    fs::remove_all(box.OutputFolder() + "/data");
    Run([&](HeadlessDialog& d) {
      EXPECT_EQ(d.Text(IDC_SOURCE_EDIT), sjisGame);
      EXPECT_EQ(std::string(Dlg(d)->m_sourceFolder), dataDir);
      EXPECT_EQ(d.Style(IDC_SOURCE_EDIT) & ES_READONLY, DWORD(ES_READONLY));
      d.Click(IDC_DO_MUSIC);
      d.Click(IDC_DO_VOICES);
      d.Click(IDC_START);
      ASSERT_NE(Dlg(d)->m_job, nullptr);
      FollowRun(d);
      EXPECT_FALSE(Dlg(d)->HadFailures());
    });
    EXPECT_TRUE(velmi_mfc::TakeMessageBoxLog().empty());
    EXPECT_FALSE(PackNames(box.OutputFolder() + "/data/grpack.mlz").empty());
  }
}

// Run from a folder whose name code page 932 cannot hold: the box names it
// as the system does, and nothing is written.
TEST_F(DialogTest, AnUnholdableOutputFolderIsNamedInTheBox) {
  ProposeGame();
  const std::string accented = box.Root() + "/out\xC3\xA9";
  fs::create_directories(accented);
  fs::current_path(accented);
  Run([&](HeadlessDialog& d) {
    d.Click(IDC_START);
    EXPECT_EQ(Dlg(d)->m_job, nullptr);
    EXPECT_TRUE(d.IsEnabled(IDC_START));
  });
  fs::current_path(box.OutputFolder());
  auto boxes = velmi_mfc::TakeMessageBoxLog();
  ASSERT_EQ(boxes.size(), 1u);
  // 出力先のフォルダ名に使えない文字があります。…
  EXPECT_EQ(boxes[0].utf8.rfind("出力先のフォルダ名に使えない文字があります。", 0), 0u) << boxes[0].utf8;
  EXPECT_EQ(boxes[0].utf8.substr(boxes[0].utf8.find('\n') + 1), accented);
  EXPECT_EQ(U8(boxes[0].caption), "フォルダ異常");
  EXPECT_EQ(boxes[0].type, UINT(MB_ICONWARNING | MB_OK));
  EXPECT_TRUE(fs::is_empty(accented));
}

TEST_F(DialogTest, BrowseAndDropTouchOnlyWhatTheyShould) {
  box.WriteGame();
  const std::string game = dtest::LayerPath(box.GameFolder());
  std::string title;
  velmi_mfc::SetFolderAnswer([&](const std::string& t, std::string* path) {
    title = t;
    *path = game;
    return true;
  });
  Run([&](HeadlessDialog& d) {
    EXPECT_EQ(d.Text(IDC_SOURCE_EDIT), "");
    d.Click(IDC_BROWSE);
    EXPECT_EQ(U8(title), "フォルダを選択して下さい。");
    EXPECT_EQ(std::string(Dlg(d)->m_sourceFolder), game);
    EXPECT_EQ(d.Text(IDC_SOURCE_EDIT), box.GameFolder());
    // A cancelled browser keeps the folder.
    velmi_mfc::SetFolderAnswer(nullptr);
    d.Click(IDC_BROWSE);
    EXPECT_EQ(std::string(Dlg(d)->m_sourceFolder), game);
    // A dropped folder is kept by the edit control and nowhere else.
    auto* edit = dynamic_cast<CWinEdit*>(Dlg(d)->GetDlgItem(IDC_SOURCE_EDIT));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->IsKindOf(RUNTIME_CLASS(CWinEdit)));
    EXPECT_EQ(edit->m_dropped, 0);
    const std::string dropped = dtest::LayerPath(box.OutputFolder());
    d.DropFiles(IDC_SOURCE_EDIT, {dropped, "\\elsewhere"});
    EXPECT_EQ(edit->m_dropped, 1);
    EXPECT_EQ(std::string(edit->m_droppedPath), dropped);
    EXPECT_EQ(d.Text(IDC_SOURCE_EDIT), box.GameFolder());
    EXPECT_EQ(std::string(Dlg(d)->m_sourceFolder), game);
  });
  // The class is creatable by its name.
  CRuntimeClass* c = CRuntimeClass::FromName("CWinEdit");
  ASSERT_NE(c, nullptr);
  CObject* o = c->CreateObject();
  EXPECT_NE(dynamic_cast<CWinEdit*>(o), nullptr);
  delete o;
}

}  // namespace

// The sound steps of a conversion run over sample desktop games: every music
// track, effect and voice entry is decoded by mpg123 or oggdec and checked
// against the tone it was made from; failures and placeholders as counted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "converter/conv_file_make.h"
#include "formats/le_bytes.h"
#include "formats/pack_format.h"
#include "sound_fixtures.h"
#include "tools/sample_sounds.h"
#include "tests/support/disk_flushes.h"
#include "tests/support/file_io.h"

namespace {

using namespace soundtest;
namespace fs = std::filesystem;

struct PackEntry {
  std::string name;
  Bytes data;
  DWORD method;
};

std::vector<PackEntry> ReadPack(const Bytes& pack) {
  std::vector<PackEntry> out;
  if (pack.size() < RLZ_HEADER_SIZE) return out;
  RlzPackHeader h;
  LoadRlzPackHeader(pack.data(), &h);
  EXPECT_TRUE(IsRlzPackMagic(pack.data()));
  EXPECT_EQ(pack.size(), h.totalSize);
  const uint64_t dir = RlzDirectorySize(h.entryCount);
  if (dir > pack.size()) return out;
  for (DWORD i = 0; i < h.entryCount; ++i) {
    RlzPackEntry e;
    LoadRlzPackEntry(pack.data() + RlzDirectorySize(i), &e);
    EXPECT_EQ(e.storedSize, e.unpackedSize);
    EXPECT_LE(dir + e.dataOffset + e.storedSize, pack.size());
    PackEntry p{std::string(e.name, strnlen(e.name, RLZ_NAME_SIZE)), {}, e.method};
    if (dir + e.dataOffset + e.storedSize <= pack.size())
      p.data.assign(pack.begin() + long(dir + e.dataOffset), pack.begin() + long(dir + e.dataOffset + e.storedSize));
    out.push_back(p);
  }
  return out;
}

// Checks one encoded sound against its tone: target rate and channels, the
// length (MP3 adds the coder's delay and padding) and the frequency.
void CheckSound(const Bytes& coded, int encoder, int rate44k, int stereo, double seconds, double hz,
                const std::string& what) {
  SCOPED_TRACE(what);
  Pcm got;
  std::string err;
  ASSERT_TRUE(encoder == 0 ? DecodeMp3(coded, &got, &err) : DecodeOgg(coded, &got, &err)) << err;
  EXPECT_EQ(rate44k ? 44100 : 22050, got.rate);
  EXPECT_EQ(stereo ? 2 : 1, got.channels);
  const double extra = encoder == 0 ? 0.07 : 0.0;
  EXPECT_NEAR(seconds + extra, got.seconds(), encoder == 0 ? 0.08 : 0.03);
  EXPECT_NEAR(hz, DominantHz(got), 10);
}

struct Job {
  explicit Job(const fs::path& game, const fs::path& out, int encoder) {
    const int bitrates[2] = {7, 4}, rates[2] = {1, 0};
    job = new CConvFileMake(bitrates, rates, 1, 80);
    std::snprintf(job->m_sourceFolder, sizeof job->m_sourceFolder, "%s", game.c_str());
    std::snprintf(job->m_outputFolder, sizeof job->m_outputFolder, "%s", out.c_str());
    job->m_doPictures = 0;
    job->m_encoder = encoder;
  }
  ~Job() { delete job; }
  CConvFileMake* job;
};

class SoundRuns : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
    unsetenv("VELMI_REGISTRY");
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : test)
      if (c == '/') c = '_';
    root_ = fs::path(TempDir()) / ("velmi_sound_runs_" + std::to_string(getpid()) + "_" + test);
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
  }
  void TearDown() override { fs::remove_all(root_); }

  // Music and effects: each file that the table made decodes, or is absent
  // when the converter passes it over.
  void CheckMusicAndEffects(vtools::SampleSize size, int encoder) {
    const char* ext = encoder == 0 ? "mp3" : "ogg";
    for (int kind = 0; kind < 2; ++kind) {
      const auto rows = kind == 0 ? vtools::SampleMusic(size) : vtools::SampleEffects(size);
      for (const vtools::SoundRow& r : rows) {
        char name[32];
        std::snprintf(name, sizeof name, "%03d.%s", r.number, ext);
        const fs::path file = root_ / "out" / "data" / (kind == 0 ? "bgm" : "se") / name;
        const bool converted =
            r.spec.shape != vtools::SoundShape::Compressed && (kind == 1 || r.spec.shape == vtools::SoundShape::Pcm);
        ASSERT_EQ(converted, fs::exists(file)) << r.path;
        if (converted) CheckSound(vtest::ReadBytes(file), encoder, 1, 1, r.spec.seconds, r.spec.hz, r.path);
      }
    }
  }

  fs::path root_;
};

TEST_P(SoundRuns, SmallSampleGame) {
  const int encoder = GetParam();
  vtools::SampleTable table;
  vtools::AddSoundRows(table, vtools::SampleSize::Small);
  // Files the converter cannot code: a head without channels, an empty file,
  // one too short to hold a head.
  Bytes bad = vtools::SoundImage({vtools::SoundShape::Pcm, 440, 22050, 1, 0.1});
  bad[14] = 0;
  table.push_back(vtools::BytesFile("AdvData\\SE\\100.pcm", bad));
  table.push_back(vtools::BytesFile("AdvData\\SE\\101.pcm", {}));
  table.push_back(vtools::BytesFile("AdvData\\MUSIC\\040.pcm", {1, 2, 3}));
  ASSERT_TRUE(vtools::WriteSampleGame((root_ / "game").string(), table));
  // A stale result from an earlier run must not survive a failed encode.
  fs::create_directories(root_ / "out" / "data" / "se");
  std::ofstream(root_ / "out" / "data" / "se" / (encoder == 0 ? "100.mp3" : "100.ogg")) << "stale";

  Job j(root_ / "game", root_ / "out", encoder);
  j.job->Run();
  ASSERT_TRUE(j.job->IsFinished());

  const auto music = vtools::SampleMusic(vtools::SampleSize::Small);
  const auto effects = vtools::SampleEffects(vtools::SampleSize::Small);
  const auto voices = vtools::SampleVoices(vtools::SampleSize::Small);
  const int files = int(music.size() + effects.size()) + 3;
  EXPECT_EQ(files + int(voices.size()), j.job->TotalCount());
  EXPECT_EQ(j.job->TotalCount(), j.job->DoneCount());
  EXPECT_EQ(3, j.job->FailureCount());
  EXPECT_FALSE(fs::exists(root_ / "out" / "data" / "se" / (encoder == 0 ? "100.mp3" : "100.ogg")));
  EXPECT_FALSE(fs::exists(root_ / "out" / "data" / "se" / (encoder == 0 ? "101.mp3" : "101.ogg")));
  CheckMusicAndEffects(vtools::SampleSize::Small, encoder);

  const std::vector<PackEntry> pack = ReadPack(vtest::ReadBytes((root_ / "out" / "data" / "voice.mlz").string()));
  ASSERT_EQ(voices.size(), pack.size());
  const char* ext = encoder == 0 ? ".mp3" : ".ogg";
  const std::map<std::string, std::string> names = {{"v0001.pcm", "VOICE\\v0001"},
                                                    {"v0002.pcm", "VOICE\\v0002"},
                                                    {"v0003.pcm", "VOICE\\v0003"},
                                                    {"chara\\v0005.PCM", "VOICE\\chara\\v0005"},
                                                    {"chara\\sub\\a.b.pcm", "VOICE\\chara\\sub\\a.b"}};
  for (size_t i = 0; i < voices.size(); ++i) {
    const vtools::SampleVoiceOptions& v = voices[i];
    EXPECT_EQ(0u, pack[i].method);
    if (v.body == vtools::VoiceBody::Other) {
      EXPECT_EQ("", pack[i].name);
      EXPECT_TRUE(pack[i].data.empty());
      continue;
    }
    EXPECT_EQ(names.at(v.name) + ext, pack[i].name);
    const double hz = v.body == vtools::VoiceBody::Coded ? vtools::CodedVoiceHz(v) : v.hz;
    CheckSound(pack[i].data, encoder, 0, 0, v.seconds, hz, v.name);
  }
}

INSTANTIATE_TEST_SUITE_P(Encoders, SoundRuns, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Mp3" : "Ogg"; });

Bytes Index(const std::vector<std::pair<Bytes, Bytes>>& records) {
  Bytes b(4);
  b[0] = uint8_t(records.size());
  uint32_t offset = uint32_t(4 + 64 * records.size());
  for (const auto& [name, body] : records) {
    Bytes n = name;
    n.resize(60, 0);
    b.insert(b.end(), n.begin(), n.end());
    AppendLe32(b, offset);
    offset += uint32_t(body.size());
  }
  for (const auto& r : records) b.insert(b.end(), r.second.begin(), r.second.end());
  return b;
}
Bytes Name(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST_F(SoundRuns, VoiceRecordsThatCannotBeConverted) {
  const Bytes good = vtools::VoiceBodyImage({"x.pcm", vtools::VoiceBody::Deflated, 500, 22050, 1, 0.2});
  Bytes broken = good;
  broken[40] ^= 0xFF;  // the deflated stream no longer inflates
  Bytes overclaim = vtools::VoiceBodyImage({"y.pcm", vtools::VoiceBody::Coded, 700, 22050, 1, 0.2});
  overclaim[4] = 0xFF;  // far more samples than its coded blocks carry
  overclaim[5] = 0xFF;
  overclaim[6] = 0xFF;
  const std::vector<std::pair<Bytes, Bytes>> records = {
      {Name("ok.pcm"), good},
      {Bytes(60, 'a'), good},                       // no terminator
      {Name(std::string(55, 'l') + ".pcm"), good},  // too long for the entry
      {Name("broken.pcm"), broken},
      {Name("claims.pcm"), overclaim},
      {Name("short.pcm"), Bytes(10, 0)},
      {Name("ok2.pcm"), good},
  };
  vtools::SampleTable table = {vtools::BytesFile("AdvData\\voice.dat", Index(records))};
  ASSERT_TRUE(vtools::WriteSampleGame((root_ / "game").string(), table));
  Job j(root_ / "game", root_ / "out", 0);
  j.job->m_doMusic = 0;
  j.job->Run();
  EXPECT_EQ(7, j.job->TotalCount());
  EXPECT_EQ(7, j.job->DoneCount());
  EXPECT_EQ(5, j.job->FailureCount());
  const auto pack = ReadPack(vtest::ReadBytes((root_ / "out" / "data" / "voice.mlz").string()));
  ASSERT_EQ(7u, pack.size());
  EXPECT_EQ("VOICE\\ok.mp3", pack[0].name);
  EXPECT_EQ("VOICE\\ok2.mp3", pack[6].name);
  for (int i = 1; i < 6; ++i) {
    EXPECT_EQ("", pack[i].name) << i;
    EXPECT_TRUE(pack[i].data.empty()) << i;
  }
  CheckSound(pack[6].data, 0, 0, 0, 0.2, 500, "ok2");
}

TEST_F(SoundRuns, VoiceIndexEdges) {
  // No records: a pack of its 16-byte head; nothing counted.
  ASSERT_TRUE(
      vtools::WriteSampleGame((root_ / "game").string(), {vtools::BytesFile("AdvData\\voice.dat", {0, 0, 0, 0})}));
  {
    Job j(root_ / "game", root_ / "out", 1);
    j.job->Run();
    EXPECT_EQ(0, j.job->TotalCount());
    EXPECT_EQ(0, j.job->FailureCount());
    EXPECT_EQ(16u, fs::file_size(root_ / "out" / "data" / "voice.mlz"));
  }
  // A count whose records run past the file: no pack, one failure.
  fs::remove(root_ / "out" / "data" / "voice.mlz");
  ASSERT_TRUE(vtools::WriteSampleGame((root_ / "game").string(),
                                      {vtools::BytesFile("AdvData\\voice.dat", {0xFF, 0xFF, 0xFF, 0x7F, 1, 2})}));
  {
    Job j(root_ / "game", root_ / "out", 1);
    j.job->Run();
    EXPECT_EQ(1, j.job->FailureCount());
    EXPECT_FALSE(fs::exists(root_ / "out" / "data" / "voice.mlz"));
  }
  // No index at all: no pack, nothing counted.
  fs::remove(root_ / "game" / "AdvData" / "voice.dat");
  {
    Job j(root_ / "game", root_ / "out", 1);
    j.job->Run();
    EXPECT_EQ(0, j.job->TotalCount());
    EXPECT_EQ(0, j.job->FailureCount());
    EXPECT_FALSE(fs::exists(root_ / "out" / "data" / "voice.mlz"));
  }
}

// Sounds cut short (the head or the "data" chunk claims more than the file
// holds): coded as far as they go, and counted, so the run reports them.
TEST_F(SoundRuns, SoundsCutShortAreCodedAndCounted) {
  Bytes track = vtools::SoundImage({vtools::SoundShape::Pcm, 440, 22050, 1, 0.5});
  track.resize(track.size() - 4000);
  Bytes effect = vtools::SoundImage({vtools::SoundShape::Wave16, 440, 22050, 1, 0.5});
  effect.resize(effect.size() - 4000);
  const Bytes whole = vtools::SoundImage({vtools::SoundShape::Pcm, 440, 22050, 1, 0.5});
  ASSERT_TRUE(vtools::WriteSampleGame((root_ / "game").string(), {vtools::BytesFile("AdvData\\MUSIC\\001.pcm", track),
                                                                  vtools::BytesFile("AdvData\\SE\\002.pcm", effect),
                                                                  vtools::BytesFile("AdvData\\SE\\003.pcm", whole)}));
  Job j(root_ / "game", root_ / "out", 0);
  j.job->Run();
  EXPECT_EQ(3, j.job->TotalCount());
  EXPECT_EQ(2, j.job->FailureCount());
  for (const char* f : {"bgm/001.mp3", "se/002.mp3", "se/003.mp3"})
    EXPECT_TRUE(fs::exists(root_ / "out" / "data" / f)) << f;
}

// A game of one music track (001) and one effect (002), converted to MP3.
void WriteTrackAndEffect(const fs::path& game) {
  ASSERT_TRUE(vtools::WriteSampleGame(
      game.string(),
      {vtools::BytesFile("AdvData\\MUSIC\\001.pcm", vtools::SoundImage({vtools::SoundShape::Pcm, 440, 22050, 1, 0.3})),
       vtools::BytesFile("AdvData\\SE\\002.pcm",
                         vtools::SoundImage({vtools::SoundShape::Wave16, 660, 22050, 1, 0.3}))}));
}

bool AnyTemporary(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".tmp") return true;
  return false;
}

// Each music and effect file is on the disk under its temporary name before
// the rename replaces the earlier file; each folder is flushed once, at the
// end of its stage, and no temporary file stays.
TEST_F(SoundRuns, EachFileIsFlushedBeforeItReplacesTheEarlierOne) {
  WriteTrackAndEffect(root_ / "game");
  const fs::path data = root_ / "out" / "data";
  ASSERT_TRUE(vtest::WriteText((data / "bgm" / "001.mp3").string(), "earlier"));
  vtest::DiskFlushLog log;
  Job j(root_ / "game", root_ / "out", 0);
  j.job->Run();
  EXPECT_EQ(0, j.job->FailureCount());
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"flush 001.mp3.tmp", "move 001.mp3.tmp 001.mp3", "flush bgm",
                                                   "flush 002.mp3.tmp", "move 002.mp3.tmp 002.mp3", "flush se"}));
  CheckSound(vtest::ReadBytes(data / "bgm" / "001.mp3"), 0, 1, 1, 0.3, 440, "001");
  CheckSound(vtest::ReadBytes(data / "se" / "002.mp3"), 0, 1, 1, 0.3, 660, "002");
  EXPECT_FALSE(AnyTemporary(data / "bgm"));
  EXPECT_FALSE(AnyTemporary(data / "se"));

  // A folder that cannot be flushed holds files written and renamed, their
  // items converted: the disk did not confirm the files renamed into it in
  // the stage, a failure of the run told with why, apart from the data not
  // converted.
  ASSERT_TRUE(
      vtools::WriteSampleGame((root_ / "game").string(),
                              {vtools::BytesFile("AdvData\\MUSIC\\003.pcm",
                                                 vtools::SoundImage({vtools::SoundShape::Pcm, 550, 22050, 1, 0.3}))}));
  log.Clear();
  VelmiFailFlushFileBuffers(2);  // 001.mp3.tmp and 003.mp3.tmp are flushed, their folder is not
  Job again(root_ / "game", root_ / "out", 0);
  again.job->Run();
  const std::vector<CConvFileMake::Failure> failures = again.job->TakeFailures();
  ASSERT_EQ(1u, failures.size());
  const std::string bgm = (data / "bgm").string();
  EXPECT_EQ(FailureText(failures[0]), bgm +
                                          ": was written but the disk did not confirm it (input/output error (the "
                                          "disk failed)); 2 files were renamed into it");
  EXPECT_EQ(1, again.job->FailureCount());
  EXPECT_EQ(0, again.job->UnconvertedCount());
  EXPECT_EQ(2, again.job->UnconfirmedFileCount());
  EXPECT_EQ(RunSummary(*again.job), "3 of 3 items converted, 0 failed, 2 files not confirmed by the disk");
  // 書き込みましたが、ディスクが確かめられなかったファイルが 2 件ありました。
  const std::string filesLine =
      "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xDC\x82\xB5\x82\xBD\x82\xAA\x81"
      "A\x83"
      "f\x83"
      "B\x83X\x83N\x82\xAA\x8Am\x82\xA9\x82\xDF\x82\xE7\x82\xEA\x82\xC8\x82\xA9\x82\xC1\x82\xBD\x83t\x83@\x83"
      "C\x83\x8B\x82\xAA 2 \x8C\x8F\x82\xA0\x82\xE8\x82\xDC\x82\xB5\x82\xBD\x81"
      "B";
  const std::string game = (root_ / "game").string(), out = (root_ / "out").string();
  EXPECT_EQ(FailureBox(failures, game.c_str(), out.c_str()),
            filesLine + "\n" + FailureBoxLine(failures[0], game.c_str(), out.c_str()));
  CheckSound(vtest::ReadBytes(data / "bgm" / "003.mp3"), 0, 1, 1, 0.3, 550, "003");
}

// A music or effect file that cannot be written is named with the system's
// reason; the earlier file of its name stays byte for byte, with the line
// saying so, and its temporary file is removed.  The other file is written.
TEST_F(SoundRuns, AFailedWriteKeepsTheEarlierFileAndSaysWhy) {
  WriteTrackAndEffect(root_ / "game");
  const fs::path data = root_ / "out" / "data";
  const std::string game = (root_ / "game").string(), out = (root_ / "out").string();
  const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  enum class Setup { kFlushFails, kDiskFull, kFolderAtTheName };
  const struct {
    const char* what;
    Setup setup;
    const char* file;    // below data
    const char* source;  // below the game folder
    std::string reason;
    bool kept;
  } cases[] = {
      {"the disk fails the flush", Setup::kFlushFails, "bgm/001.mp3", "AdvData/MUSIC/001.pcm",
       "input/output error (the disk failed)", true},
      {"a full disk", Setup::kDiskFull, "se/002.mp3", "AdvData/SE/002.pcm", "disk full", true},
      {"a folder at the name", Setup::kFolderAtTheName, "bgm/001.mp3", "AdvData/MUSIC/001.pcm",
       "a folder has that name", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(data);
    fs::create_directories(data / "bgm");
    fs::create_directories(data / "se");
    const fs::path file = data / c.file;
    const fs::path other = data / (std::string(c.file) == "bgm/001.mp3" ? "se/002.mp3" : "bgm/001.mp3");
    vtest::DiskFlushLog log;
    if (c.setup == Setup::kFolderAtTheName) {
      fs::create_directories(file);
    } else {
      ASSERT_TRUE(vtest::WriteBytes(file.string(), earlier));
    }
    if (c.setup == Setup::kFlushFails) VelmiFailFlushFileBuffers(0);
    if (c.setup == Setup::kDiskFull) {
      if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
      fs::create_symlink("/dev/full", file.string() + ".tmp");
    }
    Job j(root_ / "game", root_ / "out", 0);
    j.job->Run();
    EXPECT_EQ(1, j.job->FailureCount());
    const std::vector<CConvFileMake::Failure> failures = j.job->TakeFailures();
    ASSERT_EQ(1u, failures.size());
    EXPECT_EQ(FailureText(failures[0]), game + "/" + c.source + ": cannot write " + out + "/data/" + c.file + " (" +
                                            c.reason + ")" + (c.kept ? "; the earlier file was kept" : ""));
    // 。以前のファイルはそのまま残っています
    const std::string kept =
        "\x81\x42\x88\xC8\x91O\x82\xCC\x83t\x83@\x83\x43\x83\x8B\x82\xCD\x82\xBB\x82\xCC\x82\xDC\x82\xDC"
        "\x8E\x63\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
    const std::string box = FailureBoxLine(failures[0], game.c_str(), out.c_str());
    EXPECT_EQ(c.kept, box.size() > kept.size() && box.compare(box.size() - kept.size(), kept.size(), kept) == 0) << box;
    if (c.kept) {
      EXPECT_EQ(earlier, vtest::ReadBytes(file));
    } else {
      EXPECT_TRUE(fs::is_directory(file));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(file.string() + ".tmp")));
    EXPECT_FALSE(AnyTemporary(data / "bgm"));
    EXPECT_FALSE(AnyTemporary(data / "se"));
    EXPECT_TRUE(fs::is_regular_file(other));
  }
}

// The full-count folder: 48 tracks and 230 effects (the compressed ones
// passed over) and the whole voice index, coded to MP3 and all decoded.
TEST_F(SoundRuns, FullCountSampleGame) {
  vtools::SampleTable table;
  vtools::AddSoundRows(table, vtools::SampleSize::Full);
  ASSERT_TRUE(vtools::WriteSampleGame((root_ / "game").string(), table));
  Job j(root_ / "game", root_ / "out", 0);
  j.job->Run();
  const auto voices = vtools::SampleVoices(vtools::SampleSize::Full);
  EXPECT_EQ(48 + 230 + int(voices.size()), j.job->TotalCount());
  EXPECT_EQ(j.job->TotalCount(), j.job->DoneCount());
  EXPECT_EQ(0, j.job->FailureCount());
  CheckMusicAndEffects(vtools::SampleSize::Full, 0);
  const auto pack = ReadPack(vtest::ReadBytes((root_ / "out" / "data" / "voice.mlz").string()));
  ASSERT_EQ(voices.size(), pack.size());
  for (size_t i = 0; i < voices.size(); ++i) {
    const vtools::SampleVoiceOptions& v = voices[i];
    if (v.body == vtools::VoiceBody::Other) {
      EXPECT_EQ("", pack[i].name);
      continue;
    }
    const double hz = v.body == vtools::VoiceBody::Coded ? vtools::CodedVoiceHz(v) : v.hz;
    CheckSound(pack[i].data, 0, 0, 0, v.seconds, hz, v.name);
  }
}

}  // namespace

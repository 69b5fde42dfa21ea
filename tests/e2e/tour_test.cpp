// The tour of the sample game (tests/e2e/tour.txt) played by each player
// build on the shared converted data folder: every run starts from a clean
// copy of the data and of the settings, and its report, screenshots, sound
// capture and written files are checked against the tour's steps; a few
// screenshots of screens without text are compared with golden pictures
// (VELMI_UPDATE_GOLDEN=1 stores them anew).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "formats/le_bytes.h"
#include "tests/e2e/e2e_support.h"
#include "tests/player/rbp_builder.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace {
namespace fs = std::filesystem;

// A rectangle of canvas units (800 x 600) that the step's last screenshot
// shares with an earlier one.
struct SameArea {
  std::string shot;
  int x, y, w, h;
};

struct Step {
  std::string name;
  bool music = false;
  std::vector<std::string> files;  // relative to the run folder
  std::vector<std::string> cfgLines;
  std::vector<SameArea> same;
  std::vector<std::string> goldens;  // screenshots compared with golden pictures
  std::vector<int> waitModes;
  std::vector<std::string> shots;
};

struct Tour {
  std::vector<Step> steps;
  std::string script;  // screenshot names made absolute in the run folder
};

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

bool ParseCount(const std::string& s, int* out) {
  if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  *out = std::atoi(s.c_str());
  return true;
}

// "same <shot> <x> <y> <w> <h>" from w[i]: a screenshot taken before this
// step and a rectangle inside the canvas.
bool ReadSameArea(const std::vector<std::string>& w, size_t i, const Tour& tour, SameArea* area) {
  if (i + 5 >= w.size()) return false;
  area->shot = w[i + 1];
  bool earlier = false;
  for (const Step& step : tour.steps)
    for (const std::string& shot : step.shots) earlier = earlier || shot == area->shot;
  return earlier && ParseCount(w[i + 2], &area->x) && ParseCount(w[i + 3], &area->y) &&
         ParseCount(w[i + 4], &area->w) && ParseCount(w[i + 5], &area->h) && area->w > 0 && area->h > 0 &&
         area->x + area->w <= 800 && area->y + area->h <= 600;
}

// Reads the step headers and the script lines; false (with a reason) on a
// line the tour's format does not allow.
bool ReadTour(const std::string& text, const std::string& runFolder, Tour* tour, std::string* why) {
  std::istringstream in(text);
  std::string line;
  auto stepEnds = [&] {
    return tour->steps.empty() || tour->steps.back().same.empty() || !tour->steps.back().shots.empty();
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> w = Words(line);
    if (w.empty()) continue;
    if (w[0] == "#>") {
      if (!stepEnds()) return *why = "a \"same\" check without a screenshot in its step", false;
      if (w.size() < 2) return *why = "step without a name", false;
      Step step;
      step.name = w[1];
      for (size_t i = 2; i < w.size(); ++i) {
        if (w[i] == "music") {
          step.music = true;
        } else if ((w[i] == "file" || w[i] == "cfg" || w[i] == "golden") && i + 1 < w.size()) {
          (w[i] == "file" ? step.files : w[i] == "cfg" ? step.cfgLines : step.goldens).push_back(w[i + 1]);
          ++i;
        } else if (w[i] == "same") {
          SameArea area;
          if (!ReadSameArea(w, i, *tour, &area))
            return *why = "a \"same\" check needs an earlier shot and a canvas rectangle: " + line, false;
          step.same.push_back(area);
          i += 5;
        } else {
          return *why = "unknown check in: " + line, false;
        }
      }
      tour->steps.push_back(step);
      continue;
    }
    if (w[0][0] == '#') continue;
    if (tour->steps.empty()) return *why = "script line before the first step: " + line, false;
    Step& step = tour->steps.back();
    if (w.size() >= 3 && w[1] == "wait") step.waitModes.push_back(std::atoi(w[2].c_str()));
    if (w.size() == 3 && w[1] == "shot") {
      step.shots.push_back(w[2]);
      tour->script += w[0] + " shot " + runFolder + "/" + w[2] + "\n";
      continue;
    }
    tour->script += line + "\n";
  }
  if (tour->steps.empty()) return *why = "no steps", false;
  if (!stepEnds()) return *why = "a \"same\" check without a screenshot in its step", false;
  for (const Step& step : tour->steps)
    for (const std::string& golden : step.goldens)
      if (std::find(step.shots.begin(), step.shots.end(), golden) == step.shots.end())
        return *why = "step " + step.name + " compares " + golden + ", which it does not take", false;
  return true;
}

struct Report {
  std::vector<int> modes;  // mode of each change, in order
  std::vector<std::string> failedPictures, timeouts;
};

Report ReadReport(const std::string& text) {
  Report r;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> w = Words(line);
    if (w.size() < 3) continue;
    if (w[1] == "mode") {
      const int mode = std::atoi(w[2].c_str());
      if (r.modes.empty() || r.modes.back() != mode) r.modes.push_back(mode);
    } else if (w[1] == "picture") {
      r.failedPictures.push_back(w[2]);
    } else if (w[1] == "timeout") {
      r.timeouts.push_back(w[2]);
    }
  }
  return r;
}

// Pixels of the area that differ between two screenshots of one size (the
// area scaled from the canvas to them); -1 when they cannot be compared.
long DifferingPixels(const std::string& a, const std::string& b, const SameArea& area, std::string* first) {
  int wa = 0, ha = 0, wb = 0, hb = 0;
  const std::vector<uint16_t> pa = ReadPng565(a, &wa, &ha), pb = ReadPng565(b, &wb, &hb);
  if (pa.empty() || pb.empty() || wa != wb || ha != hb) return -1;
  long differing = 0;
  for (int y = area.y * ha / 600; y < (area.y + area.h) * ha / 600; ++y)
    for (int x = area.x * wa / 800; x < (area.x + area.w) * wa / 800; ++x)
      if (pa[size_t(y) * size_t(wa) + size_t(x)] != pb[size_t(y) * size_t(wa) + size_t(x)] && differing++ == 0)
        *first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
  return differing;
}

// True when some 16-bit sample of the capture is louder than a whisper.
bool HoldsSound(const std::vector<uint8_t>& pcm) {
  for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
    const int16_t s = int16_t(GetLe16(&pcm[i]));
    if (s > 64 || s < -64) return true;
  }
  return false;
}

struct Configuration {
  const char* name;
  const char* program;
  int width, height;  // the screen, as the device is held
};

// Compares a screenshot with its golden picture, or stores it as the golden
// picture when asked to.
void CompareGolden(const Configuration& c, const std::string& stepName, const std::string& shot) {
  const std::string golden = std::string(VELMI_SOURCE_DIR "/tests/e2e/golden/") + std::to_string(c.width) + "x" +
                             std::to_string(c.height) + "/" + fs::path(shot).filename().string();
  if (std::getenv("VELMI_UPDATE_GOLDEN")) {
    fs::create_directories(fs::path(golden).parent_path());
    fs::copy_file(shot, golden, fs::copy_options::overwrite_existing);
    return;
  }
  int w = 0, h = 0, gw = 0, gh = 0;
  const std::vector<uint16_t> have = ReadPng565(shot, &w, &h), want = ReadPng565(golden, &gw, &gh);
  ASSERT_FALSE(want.empty()) << "step " << stepName << ": no golden picture " << golden;
  ASSERT_EQ(w, c.width) << shot;
  ASSERT_EQ(h, c.height) << shot;
  ASSERT_EQ(gw, w) << golden;
  ASSERT_EQ(gh, h) << golden;
  size_t differ = 0;
  for (size_t i = 0; i < have.size() && i < want.size(); ++i) differ += have[i] != want[i];
  EXPECT_EQ(differ, 0u) << "step " << stepName << ": " << shot << " differs from " << golden;
}

// Plays the tour on a clean copy of the shared data folder and checks it.
void PlayTour(const Configuration& c) {
  const std::string shared = VELMI_BINARY_DIR "/tour-data/data";
  ASSERT_TRUE(fs::is_directory(shared)) << "the converted sample (test e2e_tour_data) is missing: " << shared;

  // A clean copy of the data folder; the program folder holds the player and
  // settings that only name that folder.
  const std::string run = vtest::ScratchFolder("e2e", std::string("tour-") + c.name);
  fs::copy(shared, run + "/data", fs::copy_options::recursive);
  fs::create_directories(run + "/prog");
  const std::string exe = run + "/prog/" + fs::path(c.program).filename().string();
  fs::copy_file(c.program, exe);
  // The sound decoders are modules found beside the program.
  for (const auto& e : fs::directory_iterator(fs::path(c.program).parent_path()))
    if (e.path().filename().string().find(".ovl.so") != std::string::npos)
      fs::copy_file(e.path(), run + "/prog/" + e.path().filename().string());
  ASSERT_TRUE(vtest::WriteText(run + "/prog/velmi.cfg", "[GAME_INST_FOLDER]\r\nDATA01=..\\data\\\r\n"));

  Tour tour;
  std::string why;
  ASSERT_TRUE(ReadTour(vtest::ReadText(VELMI_SOURCE_DIR "/tests/e2e/tour.txt"), run, &tour, &why)) << why;
  ASSERT_TRUE(vtest::WriteText(run + "/tour.txt", tour.script));

  const auto start = std::chrono::steady_clock::now();
  const int code =
      e2e::RunProgram(exe,
                      {"VELMI_HEADLESS=1", "VELMI_LOCK_DIR=" + run, "VELMI_DEVICE_SCRIPT=" + run + "/tour.txt",
                       "VELMI_DEVICE_REPORT=" + run + "/report.txt", "VELMI_WAVE_CAPTURE=" + run + "/sound.pcm",
                       // Frames are 16-17 fake ms apart however long each takes.
                       "VELMI_FAKE_CLOCK=100000",
                       // The pop-up menu's status line shows these.
                       "VELMI_DEVICE_STATUS=2000-01-01 12:00 80 32 50 256"},
                      run + "/player.err", 240);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("tour %s: %.1f s\n", c.name, seconds);
  testing::Test::RecordProperty("seconds", std::to_string(seconds));

  const std::string log = vtest::ReadText(run + "/player.err");
  EXPECT_EQ(code, 0) << log;  // the tour's last step ends the game
  EXPECT_EQ(log.find("message box"), std::string::npos) << log;

  const Report report = ReadReport(vtest::ReadText(run + "/report.txt"));
  EXPECT_TRUE(report.failedPictures.empty()) << "first picture that failed: " << report.failedPictures[0];
  EXPECT_TRUE(report.timeouts.empty()) << "the wait for mode " << report.timeouts[0] << " ran out";

  // The modes the steps wait for come in the tour's order.
  size_t seen = 0;
  for (const Step& step : tour.steps)
    for (int mode : step.waitModes) {
      while (seen < report.modes.size() && report.modes[seen] != mode) ++seen;
      EXPECT_LT(seen, report.modes.size()) << "step " << step.name << " never reached mode " << mode;
    }

  // Each screenshot was taken and shows something new.
  std::vector<uint8_t> previous;
  std::string previousName;
  bool music = false;
  for (const Step& step : tour.steps) {
    music = music || step.music;
    for (const std::string& shot : step.shots) {
      const std::vector<uint8_t> png = vtest::ReadBytes(run + "/" + shot);
      EXPECT_GT(png.size(), 8u) << "step " << step.name << ": no screenshot " << shot;
      if (!previous.empty()) {
        EXPECT_NE(png, previous) << "step " << step.name << ": " << shot << " shows " << previousName;
      }
      previous = png;
      previousName = shot;
    }
    for (const std::string& shot : step.goldens) CompareGolden(c, step.name, run + "/" + shot);
    for (const std::string& file : step.files)
      EXPECT_TRUE(fs::is_regular_file(run + "/" + file)) << "step " << step.name << ": no " << file;
    for (const SameArea& area : step.same) {
      std::string first;
      EXPECT_EQ(DifferingPixels(run + "/" + step.shots.back(), run + "/" + area.shot, area, &first), 0)
          << "step " << step.name << ": " << step.shots.back() << " and " << area.shot << " differ, first at " << first;
    }
  }

  // The settings were written back at the close, with each step's changes.
  const std::string cfg = vtest::ReadText(run + "/prog/velmi.cfg");
  EXPECT_NE(cfg.find("[SYSTEM_CONFIG]\r\n"), std::string::npos) << cfg;
  for (const Step& step : tour.steps)
    for (const std::string& line : step.cfgLines)
      EXPECT_NE(cfg.find(line + "\r\n"), std::string::npos) << "step " << step.name << ": " << line << " not in\n"
                                                            << cfg;
  if (music) {
    EXPECT_TRUE(HoldsSound(vtest::ReadBytes(run + "/sound.pcm"))) << "the sound capture is silent";
  }

  if (testing::Test::HasFailure()) vtest::KeepScratchFolders();
}

TEST(Tour, Ce42) { PlayTour({"ce42", PLAYER_CE42, 640, 480}); }
TEST(Tour, Ce50) { PlayTour({"ce50", PLAYER_CE50, 640, 480}); }
TEST(Tour, Ce30) { PlayTour({"ce30", PLAYER_CE30, 320, 240}); }

// The tour's reader refuses what would make a run check less than it says.
TEST(TourFile, ReaderRefusesMalformedSteps) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"#> a file prog/velmi.cfg\n0 wait 0\n5 shot a.png\n", true},
      {"0 wait 0\n", false},                         // a line before any step
      {"#>\n0 quit\n", false},                       // a step without a name
      {"#> a sound\n0 quit\n", false},               // an unknown check
      {"#> a file\n0 quit\n", false},                // a check without its value
      {"# only comments\n", false},                  // no steps at all
      {"#> a golden b.png\n5 shot a.png\n", false},  // a golden picture of a shot not taken
      // "same": an earlier shot, a rectangle inside the canvas and a shot of
      // its own step to compare
      {"#> a\n1 shot a.png\n#> b same a.png 6 380 700 156\n2 shot b.png\n", true},
      {"#> a\n1 shot a.png\n#> b same a.png 6 380 700 156\n2 quit\n", false},
      {"#> a\n1 shot a.png\n#> b same a.png 6 380 700 156\n", false},
      {"#> a\n1 shot a.png\n#> b same c.png 0 0 8 8\n2 shot b.png\n", false},
      {"#> b same b.png 0 0 8 8\n2 shot b.png\n", false},
      {"#> a\n1 shot a.png\n#> b same a.png 0 0 8\n2 shot b.png\n", false},
      {"#> a\n1 shot a.png\n#> b same a.png 0 0 0 8\n2 shot b.png\n", false},
      {"#> a\n1 shot a.png\n#> b same a.png 0 -1 8 8\n2 shot b.png\n", false},
      {"#> a\n1 shot a.png\n#> b same a.png 700 0 101 8\n2 shot b.png\n", false},
      {"#> a\n1 shot a.png\n#> b same a.png 0 0 8 8x\n2 shot b.png\n", false},
  };
  for (const auto& c : cases) {
    Tour tour;
    std::string why;
    EXPECT_EQ(ReadTour(c.text, "/run", &tour, &why), c.ok) << c.text << why;
  }
  Tour tour;
  std::string why;
  ASSERT_TRUE(ReadTour("#> a music cfg X=1\n0 wait 7 * 9\n5 shot a.png\n", "/run", &tour, &why));
  EXPECT_TRUE(tour.steps[0].music);
  EXPECT_EQ(tour.steps[0].waitModes, std::vector<int>{7});
  EXPECT_EQ(tour.steps[0].cfgLines, std::vector<std::string>{"X=1"});
  EXPECT_EQ(tour.script, "0 wait 7 * 9\n5 shot /run/a.png\n");
  // The area is kept for the step's last screenshot.
  Tour two;
  ASSERT_TRUE(
      ReadTour("#> a\n1 shot a.png\n#> b same a.png 6 380 700 156\n2 shot b.png\n3 shot c.png\n", "/run", &two, &why));
  ASSERT_EQ(two.steps[1].same.size(), 1u);
  EXPECT_EQ(two.steps[1].shots.back(), "c.png");
  const SameArea& area = two.steps[1].same[0];
  EXPECT_EQ(area.shot + " " + std::to_string(area.x) + " " + std::to_string(area.y) + " " + std::to_string(area.w) +
                " " + std::to_string(area.h),
            "a.png 6 380 700 156");
}

}  // namespace

// Turns the story data file into C++ source:
//   story_tables_gen <story_data.txt> <story_tables.cpp>
// Sections "[scene]", "[replacement]", "[gallery]" and "[event]" hold
// tab-separated rows; "#" starts a comment line.  Text is UTF-8 and is
// written in code page 932.  Row counts and field sizes are checked here; the
// ranges are checked by the story tests.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "player/scenario/story_tables.h"
#include "tools/cp932.h"

namespace {

std::string Literal(const std::string& bytes) {
  std::string out = "\"";
  char oct[8];
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
      out += char(c);
    } else {
      std::snprintf(oct, sizeof oct, "\\%03o", c);
      out += oct;
    }
  }
  return out + "\"";
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> cols;
  std::stringstream ss(line);
  std::string col;
  while (std::getline(ss, col, '\t')) cols.push_back(col);
  return cols;
}

bool Fail(const std::string& why) {
  std::fprintf(stderr, "story_tables_gen: %s\n", why.c_str());
  return false;
}

bool Run(const char* inPath, const char* outPath) {
  std::ifstream in(inPath);
  if (!in) return Fail(std::string("cannot read ") + inPath);
  std::map<std::string, std::vector<std::vector<std::string>>> sections;
  std::string section, line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    std::vector<std::string> cols = Split(line);
    for (std::string& c : cols) {
      std::string converted;
      if (!vtools::Utf8ToCp932(c, &converted)) return Fail("line " + std::to_string(lineNo) + ": not code page 932");
      c = converted;
    }
    cols.push_back(std::to_string(lineNo));
    sections[section].push_back(cols);
  }
  struct Shape {
    const char* name;
    size_t rows, cols;
  } shapes[] = {{"scene", kSceneRecordCount, 4},
                {"replacement", kScriptReplacementCount, 2},
                {"gallery", kCgEntryCount, 3},
                {"event", kEventPictureCount, 1}};
  for (const Shape& s : shapes) {
    const auto& rows = sections[s.name];
    if (rows.size() != s.rows)
      return Fail(std::string("[") + s.name + "] has " + std::to_string(rows.size()) + " rows, not " +
                  std::to_string(s.rows));
    for (const auto& r : rows)
      if (r.size() != s.cols + 1) return Fail("line " + r.back() + ": expected " + std::to_string(s.cols) + " columns");
  }
  std::ostringstream o;
  o << "// Generated from story_data.txt by story_tables_gen; edit that file instead.\n"
       "#include \"player/scenario/story_tables.h\"\n\nSceneRecord g_SceneTable[kSceneRecordCount + 1] = {\n";
  for (const auto& r : sections["scene"]) {
    if (r[2].size() > 31 || r[3].size() > 31) return Fail("line " + r[4] + ": a name or title longer than 31 bytes");
    o << "    {" << std::atoi(r[0].c_str()) << ", " << std::atoi(r[1].c_str()) << ", " << Literal(r[2]) << ", "
      << Literal(r[3]) << "},\n";
  }
  o << "    {-1, -1, \"\", \"\"},\n};\n\nconst CgEntry g_CgTable[kCgEntryCount + 1] = {\n";
  for (const auto& r : sections["gallery"])
    o << "    {" << std::strtoul(r[0].c_str(), nullptr, 10) << "u, " << std::strtoul(r[1].c_str(), nullptr, 10) << "u, "
      << Literal(r[2]) << "},\n";
  o << "    {0xFFFFFFFFu, 0xFFFFFFFFu, \"\"},\n};\n\nconst char* const g_EventPictureNames[kEventPictureCount + 1] = "
       "{\n";
  for (const auto& r : sections["event"]) o << "    " << Literal(r[0]) << ",\n";
  o << "    \"\",\n};\n\nconst ScriptReplacement g_ScriptReplacements[kScriptReplacementCount] = {\n";
  for (const auto& r : sections["replacement"]) o << "    {" << Literal(r[0]) << ", " << Literal(r[1]) << "},\n";
  o << "};\n";
  std::ofstream out(outPath, std::ios::trunc);
  out << o.str();
  if (!out) return Fail(std::string("cannot write ") + outPath);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <story_data.txt> <story_tables.cpp>\n", argv[0]);
    return 2;
  }
  return Run(argv[1], argv[2]) ? 0 : 1;
}

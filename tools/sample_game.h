// The synthetic desktop game: a table of files, each row a relative path and
// a maker of its bytes. The build writes the playable game; tests write the
// small and full-count folders, or small folders from tables of their own.
// Every kind of file (pictures, scripts, sounds) is a row or a section of rows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/zev_writer.h"

namespace vtools {

// What a generated picture shows: a colour taken from its name and a grid.
enum class PictureLook {
  Grid,        // opaque: name colour with a darker grid every 16 pixels
  KeyedGrid,   // grid cells on a magenta (255, 0, 255) colour-key background
  AlphaShape,  // 32-bit: an opaque disc fading out, fully transparent side margins
};

// The file format, size and look of one generated picture.
struct SamplePictureOptions {
  ZevVariant variant = ZevVariant::Deflate;
  int bitsPerPixel = 24;  // 8 (palette), 24 or 32 (alpha, deflate only)
  int width = 64;
  int height = 48;
  PictureLook look = PictureLook::Grid;
  int paletteCount = 8;  // 8-bit only; at least 1 (LZ) or 2 (deflate)
  std::vector<int> filters{0, 1, 2, 3, 4};
};

struct SampleFile {
  std::string path;  // relative to the game folder; "\" between folders; Shift-JIS bytes
  std::function<std::vector<uint8_t>()> make;
};
using SampleTable = std::vector<SampleFile>;

// Row makers.
SampleFile BytesFile(std::string path, std::vector<uint8_t> bytes);
SampleFile TextFile(std::string path, std::string text);  // scripts, maps, markers
SampleFile PictureFile(std::string path, SamplePictureOptions spec);
// An empty folder (path ends in "\"), e.g. to show that empty folders are harmless.
SampleFile FolderEntry(std::string path);

// Draws the picture a PictureFile row writes; the name is the file name
// without folders (its colour comes from it).
ZevPicture DrawSamplePicture(const std::string& name, const SamplePictureOptions& spec);
// The colour (B, G, R) a name gives.
void NameColour(const std::string& name, uint8_t bgr[3]);

// Sections of the sample game. Small and Full hold the converter's cases
// (Full at the full counts); Game adds every picture, sound and voice the
// player loads by name, so that the player can play it end to end.
enum class SampleSize { Small, Full, Game };
void AddBaseRows(SampleTable& table);  // QR2.exe, startup.ZEV, readme, dot-folder
void AddPictureRows(SampleTable& table, SampleSize size);
void AddScriptRows(SampleTable& table);                  // .mes scripts and .MAP maps (bytes only)
void AddStoryRows(SampleTable& table, SampleSize size);  // the sample story's scripts and pictures
SampleTable SampleGameTable(SampleSize size = SampleSize::Game);

// Writes every row below the folder (a Linux path), making folders as
// needed; Shift-JIS names are stored as the platform layer finds them
// (code page 932 converted to UTF-8). Returns false and a reason on failure.
bool WriteSampleGame(const std::string& folder, const SampleTable& table, std::string* error = nullptr);

// Linux path of a row below the folder.
std::string HostPath(const std::string& folder, const std::string& sjisRelativePath);

}  // namespace vtools

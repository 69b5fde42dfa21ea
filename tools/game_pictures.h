// The pictures the player loads by name: one table of name, size and kind.
// Each row is at least as large as the largest cell any screen cuts from
// it, so a sprite never reads outside its picture. The generator draws each
// as a self-describing grid (see DrawGamePicture).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sample_game.h"
#include "tools/zev_writer.h"

namespace vtools {

// How a picture comes out of the converter.
enum class GamePictureKind {
  Opaque,  // no alpha: drawn as an opaque grid
  Keyed,   // a chip name or "sam_": the magenta key becomes alpha
  Rule,    // the transition's rule picture: tile frames in its alpha plane
};

struct GamePictureRow {
  const char* path;  // below the game folder, "\" between folders; "%02d" numbered rows
  int count;         // 0: one picture; n: numbered 1..n through the path's "%02d"
  int width, height;
  GamePictureKind kind;
};

// The whole table.
const std::vector<GamePictureRow>& GamePictureTable();

// One picture of the table, its number filled in.
struct GamePicture {
  std::string path;
  int width, height;
  GamePictureKind kind;
};

// Every picture of the table, then one 800 x 600 background for each story
// picture name ("bg\iv_vlm01a" and the like, below "AdvData\GRP\"): the
// hook through which the story tables add the backgrounds and event
// pictures their scripts and the gallery name.
std::vector<GamePicture> GamePictures(const std::vector<std::string>& storyPictures = {});

// The story tables' pictures: the gallery's event pictures ("bg\\" + name)
// and the event-picture list, each once, in table order.
std::vector<std::string> StoryTablePictures();

// The picture drawn for a row (8 bits a pixel): a colour from the file name,
// a grid whose cells print the canvas coordinates of their top-left corner,
// and for keyed pictures magenta grid lines; the rule picture holds 25
// shrinking tile frames (32 x 32 canvas units each) in its top rows.
ZevPicture DrawGamePicture(const std::string& fileName, int width, int height, GamePictureKind kind);

// Rows of the sample table, one per picture.
void AddGamePictureRows(SampleTable& table, const std::vector<std::string>& storyPictures = {});

}  // namespace vtools

// The playable game's scripts (text form of tools/mes_text.h), assembled
// when the sample is written.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/sample_game.h"

namespace vtools {

// Script name and text of every script of the game: the new game
// "fst_1216_a1_cmn", its ending, the second start "0ind_1216_a1_hsr", the
// ten mini-game scripts, and one script for each row of the scene table.
std::vector<std::pair<std::string, std::string>> GameScriptTexts();

// Rows "AdvData\mes\" + name + ".mes" of the assembled scripts.
void AddGameScriptRows(SampleTable& table);

}  // namespace vtools

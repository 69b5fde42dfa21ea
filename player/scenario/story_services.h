// What the message window asks of the story, the save files and the screens.
#pragma once

class CGameApp;

// The current script's name and read block.
const char* StoryScriptName(const CGameApp* app);
int StoryReadBlock(const CGameApp* app);
// Non-zero when the block's bit is set.
int TestReadFlag(CGameApp* app, const char* scriptName, int block);
void SetReadFlag(CGameApp* app, const char* scriptName, int block);
// Writes the next slot of the auto-save ring.
int AutoSave(CGameApp* app);

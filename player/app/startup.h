// The start-up sequence: the settings file read and written, the data folder
// found and its paths set.
#pragma once

#include <cstddef>
#include <string>

#include "player/core/settings.h"

class CGameApp;

// The folders the data folder search looked in, in order.
struct DataFolderSearch {
  static constexpr int kMost = 6;  // DATA01-DATA05, then data\ beside the program
  struct Tried {
    int key;  // n of DATAn, 0 for the program's own data folder
    char folder[1024];
  };
  int count = 0;
  Tried tried[kMost];
};

// The start of the game once the window is open.  0 when the data folder
// holds no pack that reads: failure (may be null) then receives the message
// for the player, and nothing has been written.
int AppStartup(CGameApp* app, std::u16string* failure = nullptr);
void SaveConfig(CGameApp* app);
// DATA01-DATA05, then data\ beside the program; search (may be null)
// receives the folders looked in, each folder once.  A value takes '/' or
// '\' and needs no closing separator.
int FindDataFolder(CGameApp* app, const char* configFile, const char* packName, DataFolderSearch* search = nullptr);
int ResolveDataPath(CGameApp* app, char* out, const char* folder, const char* fileName);
// Sets the data paths below folder; the save folder is made by MakeSaveFolder.
void SetDataPaths(CGameApp* app, const char* folder);
void MakeSaveFolder(CGameApp* app);
// A folder value with every '/' turned into '\' and a closing '\'; value
// holds one byte more than its text.
void NormaliseFolderValue(char* value);
// The message of a start without game data: not found (or damaged when
// packExists), the pack named, each folder tried (with '/' between its
// folders), how to make one and the converter's screen that makes this pack.
void DescribeDataFailure(const DataFolderSearch& search, const char* packName, int packExists, std::u16string* out);
// Settings before start-up has read the file.
void SetFirstSettings(GameSettings* s);

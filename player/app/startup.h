// The start-up sequence: the settings file read and written, the data folder
// found and its paths set.
#pragma once

#include "player/core/settings.h"

class CGameApp;

void AppStartup(CGameApp* app);
void SaveConfig(CGameApp* app);
int FindDataFolder(CGameApp* app, const char* configFile, const char* packName);
int ResolveDataPath(CGameApp* app, char* out, const char* folder, const char* fileName);
void SetDataPaths(CGameApp* app, const char* folder);
// Settings before start-up has read the file.
void SetFirstSettings(GameSettings* s);

// The settings of velmi.cfg: one table of every integer setting (section,
// key, word, default, range, menu items and option handler), and the orders
// in which start-up reads them and the exit writes them.
#pragma once

#include <cstdint>

class CGameApp;
class CPopupMenu;
struct GameSettings;

// What start-up does to a value read before it is applied.
enum class SettingRule : uint8_t {
  kAsRead,
  kFlag,     // non-zero becomes 1
  kRange,    // outside low..high becomes the default
  kAbsMod4,  // absolute value modulo 4
  // A scene replay page: below 0, or at or beyond the page count of the
  // scene replay tab read before it, becomes the default.
  kReplayPage,
};

// Steps of the read beyond storing through the handler.
enum class SettingStep : uint8_t {
  kPlain,
  kSoundQuality,  // opens the sound output; the rate obtained is stored
  kOggUseLevel,   // handed to the mixer first
  kDeviceVolume,  // handed to the mixer when 1..65534; no word
  kFontName,      // a font name, stored as its index in the font list
};

using OptionHandler = void (*)(CPopupMenu* menu, int first, GameSettings* settings, int value);
using CharacterHandler = void (*)(CPopupMenu* menu, int first, GameSettings* settings, int character, int value);

struct ConfigSetting {
  const char* section;
  const char* key;  // with "%z2" for a numbered run of count keys from 1
  int count;
  int32_t* (*word)(CGameApp* app, int index);  // null: no word
  int32_t defaultValue;
  SettingRule rule;
  int32_t low, high;
  SettingStep step;
  int menuId;
  OptionHandler handler;              // null: stored directly
  CharacterHandler characterHandler;  // for a numbered run
};

extern const ConfigSetting kConfigSettings[];
extern const int kConfigSettingCount;
// Keys of kConfigSettings in the order start-up reads them, and in the
// order the exit writes them.
extern const char* const kConfigReadOrder[];
extern const int kConfigReadCount;
extern const char* const kConfigWriteOrder[];
extern const int kConfigWriteCount;

const ConfigSetting* FindConfigSetting(const char* key);
// The value start-up applies for a value read; app holds the words read
// before it.
int32_t ApplySettingRule(const ConfigSetting& setting, int32_t value, const CGameApp& app);

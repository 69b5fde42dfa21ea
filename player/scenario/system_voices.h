// Voice folders of the characters and their system voice names.
#pragma once

#include <cstddef>

constexpr int kVoiceCharacters = 16;

struct VoiceCharacterRow {
  const char* prefix;       // start of a voice name; null on the last row (any other name)
  const char* systemVoice;  // format of the system voice names, "%z2" the number
};

// Rows 9 and 10 name each other's folders in the system voice column.
extern const VoiceCharacterRow kVoiceCharacterTable[kVoiceCharacters];

// The character index of a voice name (which CHAR_VOICE_USE setting rules
// it): the row whose prefix starts the name, else 15.
int VoiceCharacterIndex(const char* voiceName);
// The system voice name of a character with its number; 0 (out untouched)
// for a character outside 0-15 or a name that does not fit.
int FormatSystemVoiceName(char* out, size_t capacity, int character, int number);

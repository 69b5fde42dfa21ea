#include "player/scenario/system_voices.h"

#include "common/format.h"
#include "common/sjis.h"

const VoiceCharacterRow kVoiceCharacterTable[kVoiceCharacters] = {
    {"VOICE\\vlm\\", "VOICE\\vlm\\sys_vlm_%z2.mp3"}, {"VOICE\\dov\\", "VOICE\\dov\\sys_dov_%z2.mp3"},
    {"VOICE\\fnr\\", "VOICE\\fnr\\sys_fnr_%z2.mp3"}, {"VOICE\\lup\\", "VOICE\\lup\\sys_lup_%z2.mp3"},
    {"VOICE\\brs\\", "VOICE\\brs\\sys_brs_%z2.mp3"}, {"VOICE\\olw\\", "VOICE\\olw\\sys_olw_%z2.mp3"},
    {"VOICE\\wnr\\", "VOICE\\wnr\\sys_wnr_%z2.mp3"}, {"VOICE\\rwa\\", "VOICE\\rwa\\sys_rwa_%z2.mp3"},
    {"VOICE\\elv\\", "VOICE\\elv\\sys_elv_%z2.mp3"}, {"VOICE\\hdk\\", "VOICE\\adw\\sys_adw_%z2.mp3"},
    {"VOICE\\adw\\", "VOICE\\hdk\\sys_hdk_%z2.mp3"}, {"VOICE\\hsr\\", "VOICE\\hsr\\sys_hsr_%z2.mp3"},
    {"VOICE\\iph\\", "VOICE\\iph\\sys_iph_%z2.mp3"}, {"VOICE\\zta\\", "VOICE\\zta\\sys_zta_%z2.mp3"},
    {"VOICE\\kva\\", "VOICE\\kva\\sys_kva_%z2.mp3"}, {nullptr, "VOICE\\qor\\sys_qor_%z2.mp3"},
};

int VoiceCharacterIndex(const char* voiceName) {
  if (!voiceName) return kVoiceCharacters - 1;
  for (int i = 0; i < kVoiceCharacters; ++i) {
    const char* prefix = kVoiceCharacterTable[i].prefix;
    if (prefix && SjisStartsWith(voiceName, prefix)) return i;
  }
  return kVoiceCharacters - 1;
}

int FormatSystemVoiceName(char* out, size_t capacity, int character, int number) {
  if (character < 0 || character >= kVoiceCharacters || !out || capacity == 0) return 0;
  char name[96];
  if (!FormatStringN(name, sizeof name, kVoiceCharacterTable[character].systemVoice, number)) return 0;
  if (StrLength(name) >= capacity) return 0;
  StrCopy(out, name);
  return 1;
}

// The system screens' share of the application object.  Placeholder: only
// the gallery words that start-up reads and writes back.
#pragma once

#include <cstdint>

struct CScreenMembers {
  uint32_t cgModeChar = 0;
  uint32_t cgModePage = 0;
  uint32_t evModeChar = 0;
  uint32_t evModePage = 0;
};

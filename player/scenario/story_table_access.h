// The story data tables the save label and the event-picture rule read.
#pragma once

#include "player/scenario/system_data.h"

// The scene table, ended by a record with a negative month.
const SceneRecord* StorySceneTable();
// The event-picture background names, ended by an empty name.
const char* const* StoryEventPictureNames();

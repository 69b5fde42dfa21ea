// Stands in for the story data tables: no scene is listed and no background
// is an event picture.
#include "player/scenario/story_table_access.h"

const SceneRecord* StorySceneTable() { return nullptr; }
const char* const* StoryEventPictureNames() { return nullptr; }

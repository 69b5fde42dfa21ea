// The voice decoder's table as resource 132 of type "Binary", computed when
// the program is built; registered for FindResourceA by the first call.
#pragma once

void RegisterVoiceTableResource();

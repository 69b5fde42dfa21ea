// The two chip sheets of the program (resources 135 and 136 of type
// "Binary"), registered for FindResourceA by the first call; later calls do
// nothing.
#pragma once

void RegisterChipResources();

// The dialog's resources (template 102, string 101, icon 128), registered
// for FindResourceA by the first call; later calls do nothing.
#pragma once

void RegisterConverterAppResources();

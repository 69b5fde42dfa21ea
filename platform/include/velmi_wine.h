// The registry of a desktop game installed under Wine: values are read from
// the prefix's user.reg (HKEY_CURRENT_USER) and system.reg
// (HKEY_LOCAL_MACHINE), behind the store of VELMI_REGISTRY.  The prefix is
// $WINEPREFIX, else ~/.wine.  The prefix is never written.
#pragma once

#include <string>

// Installs the prefix reader as the registry's second source.
void VelmiUseWineRegistry();

// The prefix folder in use (a Linux path, no trailing '/').
std::string VelmiWinePrefix();

// A drive-letter path ("C:\Games\QR2\", code page 932) mapped through the
// prefix's dosdevices links to a path of our layer (under ~/.wine/drive_c,
// with '\\' separators).  Anything else, or a drive without a link, comes back as it
// was.
std::string VelmiWineMapDrivePath(const std::string& path);

// Shell calls of the handheld: full-screen switch of a window.
// windows.h includes this header at its end; the guard sits after that
// include so that either header may come first.
#include <windows.h>
#ifndef VELMI_AYGSHELL_H
#define VELMI_AYGSHELL_H

#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// Exported by ordinal 65 of the shell library on the device.
BOOL SHFullScreen(HWND hwnd, DWORD state);
#endif  // VELMI_AYGSHELL_H

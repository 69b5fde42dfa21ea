// Files dropped on a window (WM_DROPFILES), from our framework's hosts.
#pragma once

#include <afxwin.h>

// index 0xFFFFFFFF: the number of files.  Otherwise copies the file's path
// (code page 932, '\' separators), cut to capacity and terminated, and
// returns its length; with a null buffer, the length it needs less one.
UINT DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT capacity);
#define DragQueryFile DragQueryFileA
// Releases the drop's memory.
void DragFinish(HDROP drop);

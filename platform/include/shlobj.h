// The shell's folder browser and its item lists, on our framework's hosts.
#pragma once

#include <afxwin.h>

typedef struct _ITEMIDLIST* LPITEMIDLIST;
typedef const struct _ITEMIDLIST* LPCITEMIDLIST;
typedef int (*BFFCALLBACK)(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);

#define BIF_RETURNONLYFSDIRS 0x0001
#define BIF_BROWSEFORCOMPUTER 0x1000

typedef struct _browseinfoA {
  HWND hwndOwner;
  LPCITEMIDLIST pidlRoot;
  LPSTR pszDisplayName;  // MAX_PATH bytes, or null
  LPCSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
} BROWSEINFOA, *LPBROWSEINFOA;
typedef BROWSEINFOA BROWSEINFO;

// The shell's allocator: item lists handed out by the shell are freed here.
struct IMalloc {
  virtual void* Alloc(SIZE_T bytes) = 0;
  virtual void Free(void* block) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;
typedef LONG HRESULT;
#ifndef S_OK
#define S_OK ((HRESULT)0)
#endif
#ifndef E_FAIL
#define E_FAIL ((HRESULT)0x80004005L)
#endif

HRESULT SHGetMalloc(LPMALLOC* malloc);
// Null when the user cancels.
LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info);
#define SHBrowseForFolder SHBrowseForFolderA
// Copies the folder's path (code page 932, '\' separators; at most
// MAX_PATH bytes with the terminator) into path; FALSE when it does not fit.
BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
#define SHGetPathFromIDList SHGetPathFromIDListA

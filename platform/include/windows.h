// Our own Win32 / Windows CE layer: the subset of the platform interface
// that this program calls, implemented on Linux (see platform/src).
// Types keep their Win32 widths on 64-bit Linux: DWORD is 32 bits, WCHAR is
// a 16-bit char16_t (never wchar_t) and handles are pointers.
// No min/max macros are defined here, so the standard library stays usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef char CHAR;
typedef unsigned char UCHAR;
typedef char16_t WCHAR;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef void VOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef BYTE* LPBYTE;
typedef BYTE* PBYTE;
typedef WORD* LPWORD;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef BOOL* LPBOOL;
typedef INT* LPINT;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef DWORD COLORREF;

// Opaque handle kinds shared by every part of the layer.
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef struct HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define WINAPI
#define CALLBACK
#define APIENTRY
#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif

#define MAKEWORD(lo, hi) ((WORD)(((BYTE)((DWORD_PTR)(lo)&0xff)) | ((WORD)((BYTE)((DWORD_PTR)(hi)&0xff))) << 8))
#define MAKELONG(lo, hi) ((LONG)(((WORD)((DWORD_PTR)(lo)&0xffff)) | ((DWORD)((WORD)((DWORD_PTR)(hi)&0xffff))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l)&0xffff))
#define HIWORD(l) ((WORD)(((DWORD_PTR)(l) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)((DWORD_PTR)(w)&0xff))
#define HIBYTE(w) ((BYTE)(((DWORD_PTR)(w) >> 8) & 0xff))

#define ZeroMemory(p, n) std::memset((p), 0, (n))
#define FillMemory(p, n, v) std::memset((p), (v), (n))
#define CopyMemory(d, s, n) std::memcpy((d), (s), (n))
#define MoveMemory(d, s, n) std::memmove((d), (s), (n))

#include "winbase_core.h"
#include "winreg_core.h"
#include "timeapi_core.h"
#include "process.h"

// Backends added by their own parts of the layer, when present.
#if __has_include("winuser.h")
#include "winuser.h"
#endif
#if __has_include("wingdi.h")
#include "wingdi.h"
#endif
#if __has_include("wingdi_text.h")
#include "wingdi_text.h"
#endif
#if __has_include("mmsystem.h")
#include "mmsystem.h"
#endif
#if __has_include("gx.h")
#include "gx.h"
#endif

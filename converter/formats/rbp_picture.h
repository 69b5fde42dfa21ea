// The handheld picture file (".rbp"): a 36-byte header and the pixel body.
// Types 13 (RGB565) and 1 (RGB565 plus an alpha byte) are written here; types
// 30 and 32 carry a JBP1 stream (and an LZSS alpha plane) and come from the
// JBP1 re-coder.  Bitmaps are in-memory BMP file images (bottom-up rows).
#pragma once

#include <windows.h>

constexpr DWORD RBP_HEADER_SIZE = 36;

enum RbpPixelType : DWORD
{
    RBP_TYPE_RGB565_ALPHA = 1,
    RBP_TYPE_RGB565 = 13,
    RBP_TYPE_JBP1 = 30,
    RBP_TYPE_JBP1_ALPHA = 32,
    RBP_TYPE_PALETTE = 80,  // read by the player only
    RBP_TYPE_GREY = 90,     // read by the player only
};

struct RbpHeader
{
    char magic[4];        // "RBP5", "RBP7" or "KBP1"
    DWORD type;           // RbpPixelType
    DWORD width;
    DWORD height;
    DWORD headerSize;     // offset of the body from the start of the file
    SHORT sourceWidth;    // size at desktop scale (design space for the player)
    SHORT sourceHeight;
    SHORT valueA;
    SHORT valueB;
    DWORD jbp1Length;
    DWORD alphaLength;
};

void StoreRbpHeader(BYTE* dst, const RbpHeader& header);
// FALSE when size is below the 36 header bytes.
BOOL LoadRbpHeader(const BYTE* src, DWORD size, RbpHeader* header);

// The picture's width and height at desktop scale, recorded by the scaling
// step for the writer that follows it (one picture at a time).
struct SourceSizeRecord
{
    int width;
    int height;
};
extern SourceSizeRecord SourceSize;
void SetSourceSize(int width, int height);

// RGB565 from 8-bit channels; the low bits are dropped.
inline WORD Rgb565(BYTE red, BYTE green, BYTE blue)
{
    return static_cast<WORD>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
}

// A new LocalAlloc picture ("RBP7" from the re-coder for a quality code other
// than 0, else "RBP5" type 13 for 24-bit and type 1 for 32-bit bitmaps) and
// its size in *outLength; null for other bit counts or when allocation fails.
BYTE* MakeRbpPicture(const BYTE* bitmap, DWORD* outLength, unsigned quality, SHORT valueA, SHORT valueB);

// The chip picture: "KBP1", type 13, from an 8-bit or 24-bit bitmap whose
// rows are exactly width pixels apart.  LocalAlloc'd; null for other depths.
BYTE* MakeChipPicture(const BYTE* bitmap, DWORD* outLength);

// The JBP1 re-coder (converter/pictures): an "RBP7" picture for quality codes
// other than 0, or null, in which case MakeRbpPicture writes "RBP5".  Programs
// that link the picture writers also link the converter library, which holds it.
BYTE* MakeRbpJbpPicture(const BYTE* bitmap, DWORD* outLength, unsigned quality, SHORT valueA, SHORT valueB);

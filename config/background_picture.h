// The window's background picture, decoded to the client size.
#pragma once
#include <windows.h>

constexpr int kBackgroundWidth = 544;
constexpr int kBackgroundHeight = 340;

// Decodes the cache file at path, downloading it first when it is missing.
HBITMAP LoadCachedImage(const char* url, const char* path);
// Downloads url over path, then decodes it.
HBITMAP LoadFreshImage(const char* url, const char* path);
// A picture file (any format OleLoadPicture reads) as a new 544 x 340
// bitmap owned by the caller, or null.
HBITMAP DecodePictureFile(const char* path);

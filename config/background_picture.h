// The window's background picture: fetched into a cache file under Program
// Files and decoded to the client size.
#pragma once
#include <windows.h>

constexpr int kBackgroundWidth = 544;
constexpr int kBackgroundHeight = 340;

HRESULT DownloadImage(const char* url, const char* path);

// Decodes the cache file at path, downloading it first when it is missing.
HBITMAP LoadCachedImage(const char* url, const char* path);
// Downloads url over path, then decodes it.
HBITMAP LoadFreshImage(const char* url, const char* path);
// A picture file (any format OleLoadPicture reads) as a new 544 x 340
// bitmap owned by the caller, or null.
HBITMAP DecodePictureFile(const char* path);

// Background picture for imageUrl with its cache file in folder; falls back
// to bitmap resource 117.
HBITMAP LoadBackgroundBitmap(const char* imageUrl, const char* folder);

// AppState.backgroundBitmap for AppState.imageUrl, cached in
// "Glenmoor\download" under Program Files.
void LoadBackgroundPicture();

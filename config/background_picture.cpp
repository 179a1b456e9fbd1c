#include "config/background_picture.h"

#include <ole2.h>
#include <olectl.h>

#include <cstdio>
#include <cstring>

#include "config/http_fetch.h"

namespace {

constexpr long kLargestPicture = 64L * 1024 * 1024;

bool FileReadable(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    fclose(file);
    return true;
}

HBITMAP DecodeBlock(HGLOBAL block)
{
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, FALSE, &stream)) || stream == nullptr) return nullptr;
    HBITMAP result = nullptr;
    IPicture* picture = nullptr;
    if (SUCCEEDED(OleLoadPicture(stream, 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&picture))) &&
        picture != nullptr) {
        SHORT type = PICTYPE_NONE;
        OLE_HANDLE handle = 0;
        if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
            SUCCEEDED(picture->get_Handle(&handle)) && handle != 0) {
            // A new bitmap: the picture's own one dies with the picture.
            result = static_cast<HBITMAP>(CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)),
                                                    IMAGE_BITMAP, kBackgroundWidth, kBackgroundHeight, 0));
        }
        picture->Release();
    }
    stream->Release();
    return result;
}

}  // namespace

HBITMAP DecodePictureFile(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return nullptr;
    HBITMAP result = nullptr;
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length > 0 && length <= kLargestPicture && fseek(file, 0, SEEK_SET) == 0) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(length));
        if (block != nullptr) {
            void* bytes = GlobalLock(block);
            const bool read = bytes != nullptr && fread(bytes, 1, static_cast<size_t>(length), file) ==
                                                      static_cast<size_t>(length);
            if (bytes != nullptr) GlobalUnlock(block);
            if (read) {
                const HRESULT com = CoInitialize(nullptr);
                result = DecodeBlock(block);
                if (SUCCEEDED(com)) CoUninitialize();
            }
            GlobalFree(block);
        }
    }
    fclose(file);
    return result;
}

HBITMAP LoadCachedImage(const char* url, const char* path)
{
    if (!FileReadable(path) && FAILED(DownloadImage(url, path))) return nullptr;
    return DecodePictureFile(path);
}

HBITMAP LoadFreshImage(const char* url, const char* path)
{
    if (FAILED(DownloadImage(url, path))) return nullptr;
    return DecodePictureFile(path);
}

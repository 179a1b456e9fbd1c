#include "config/background_picture.h"

#include <ole2.h>
#include <olectl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/file_names.h"
#include "common/text.h"
#include "common/url.h"
#include "config/http_fetch.h"
#include "state/app_state.h"

namespace {

constexpr int kFallbackBackgroundResource = 117;
constexpr long kLargestPicture = 64L * 1024 * 1024;

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using StdioFile = std::unique_ptr<FILE, FileCloser>;

struct GlobalFreer {
    void operator()(void* block) const { GlobalFree(block); }
};
using GlobalBlock = std::unique_ptr<void, GlobalFreer>;

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T> using ComObject = std::unique_ptr<T, Releaser>;

bool FileReadable(const char* path) { return StdioFile(fopen(path, "rb")) != nullptr; }

HBITMAP DecodeBlock(HGLOBAL block)
{
    IStream* rawStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, FALSE, &rawStream)) || rawStream == nullptr) return nullptr;
    const ComObject<IStream> stream(rawStream);
    IPicture* rawPicture = nullptr;
    if (FAILED(OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&rawPicture))) ||
        rawPicture == nullptr)
        return nullptr;
    const ComObject<IPicture> picture(rawPicture);
    SHORT type = PICTYPE_NONE;
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP || FAILED(picture->get_Handle(&handle)) ||
        handle == 0)
        return nullptr;
    // A new bitmap: the picture's own one dies with the picture.
    return static_cast<HBITMAP>(CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP,
                                          kBackgroundWidth, kBackgroundHeight, 0));
}

// The whole file in a movable memory block, as a stream over it needs.
GlobalBlock ReadIntoBlock(FILE* file)
{
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length <= 0 || length > kLargestPicture || fseek(file, 0, SEEK_SET) != 0) return nullptr;
    GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(length)));
    if (block == nullptr) return nullptr;
    void* bytes = GlobalLock(block.get());
    if (bytes == nullptr) return nullptr;
    const bool read = fread(bytes, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length);
    GlobalUnlock(block.get());
    return read ? std::move(block) : nullptr;
}

}  // namespace

HRESULT DownloadImage(const char* url, const char* path) { return DownloadToFile(url, path, "Glenmoor ImgDown"); }

HBITMAP DecodePictureFile(const char* path)
{
    const StdioFile file(fopen(path, "rb"));
    if (file == nullptr) return nullptr;
    const GlobalBlock block = ReadIntoBlock(file.get());
    if (block == nullptr) return nullptr;
    const HRESULT com = CoInitialize(nullptr);
    HBITMAP result = DecodeBlock(block.get());
    if (SUCCEEDED(com)) CoUninitialize();
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

HBITMAP LoadBackgroundBitmap(const char* imageUrl, const char* folder)
{
    // Without a URL the name is that of an absent attribute, as in the documents.
    const char* name = strchr(imageUrl, '/') ? LocalFileName(imageUrl) : "(null)";
    char path[kTextSize];
    HBITMAP bitmap = nullptr;
    if (IsSafeFileName(name) && FormatText(path, sizeof(path), "%s\\%s", folder, name)) {
        bitmap = LoadCachedImage(imageUrl, path);
        if (bitmap == nullptr) bitmap = LoadFreshImage(imageUrl, path);
    }
    if (bitmap == nullptr)
        bitmap = LoadBitmapA(AppState.appInstance, MAKEINTRESOURCEA(kFallbackBackgroundResource));
    return bitmap;
}

void LoadBackgroundPicture()
{
    char programFiles[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE);
    char folder[kTextSize];
    FormatText(folder, sizeof(folder), "%s\\Glenmoor\\download", programFiles);
    AppState.backgroundBitmap = LoadBackgroundBitmap(AppState.imageUrl, folder);
}

#include "bridge/download_start.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/messages.h"
#include "common/file_names.h"
#include "common/file_system.h"
#include "common/url.h"

namespace {

void StopDownload()
{
    AppState.downloading = 0;
    if (AppState.engine != nullptr) AppState.engine->CancelDownload();
    KillTimer(AppState.mainWindow, kProgressTimerId);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

void Refuse(const char* message)
{
    CopyText(AppState.statusMessage, message);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

// A local copy larger than expected cannot be resumed: start it afresh.
void DeleteOversizedLocalFile(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return;
    fclose(file);
    if (LocalFileSize(path) > AppState.currentFileSize) DeleteFileA(path);
}

void StartDownload()
{
    FileEntry entry = AppState.fileList.Head();
    AppState.statusMessage[0] = '\0';
    AppState.currentFileName[0] = '\0';
    const char* name = LocalFileName(entry.url);
    char path[MAX_PATH];
    if (strchr(entry.url, '/') == nullptr || entry.sizeText[0] == '\0' || !IsSafeFileName(name) ||
        !FormatText(path, sizeof path, "%s\\%s", AppState.downloadFolder, name)) {
        Refuse(kMessageBadUrl);
        return;
    }
    CopyText(AppState.currentUrl, entry.url);
    AppState.currentFileSize = _strtoi64(entry.sizeText, nullptr, 10);
    if (AppState.allDone == 0) {
        if (AppState.engine == nullptr) {
            Refuse(kMessageUseAnotherWay);
            return;
        }
        DeleteOversizedLocalFile(path);
        uint64_t size = static_cast<uint64_t>(AppState.currentFileSize);
        if (AppState.engine->StartDownload(AppState.currentUrl, static_cast<uint32_t>(size),
                                           static_cast<uint32_t>(size >> 32), AppState.currentFileName, 0) != 0) {
            InvalidateRect(AppState.mainWindow, nullptr, TRUE);
            return;
        }
    }
    CopyText(AppState.currentFileName, name);
    AppState.downloading = 1;
    AppState.totalProgress.SetRange(0, static_cast<int32_t>(AppState.totalSize / 1024));
    SetTimer(AppState.mainWindow, kProgressTimerId, kProgressTimerMs, nullptr);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

}  // namespace

void OnStartClicked(BaseSkin*)
{
    if (AppState.statusMessage[0] != '\0' && AppState.retryAllowed != 1) return;
    ToggleDownload();
    AppState.retryAllowed = 0;
}

void ToggleDownload()
{
    if (AppState.downloading != 0)
        StopDownload();
    else if (!AppState.fileList.Empty())
        StartDownload();
}

#include "bridge/download_start.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "common/file_names.h"
#include "common/file_system.h"
#include "common/url.h"
#include "state/app_state.h"
#include "state/messages.h"

namespace {

void Refuse(const char* message)
{
    CopyText(AppState.statusMessage, message);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

// A local copy larger than expected cannot be resumed: start it afresh. A
// file that cannot be opened has size 0 here and stays.
void DeleteOversizedLocalFile(const char* path)
{
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

void StopDownload()
{
    AppState.downloading = 0;
    if (AppState.engine != nullptr) AppState.engine->CancelDownload();
    KillTimer(AppState.mainWindow, kProgressTimerId);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

LRESULT OnTimer(HWND window)
{
    AppState.totalProgress.SetValue(
        static_cast<int32_t>((AppState.completedBytes + AppState.currentBytesDone) / 1024));
    InvalidateRect(window, &kStatusArea, TRUE);
    return 0;
}

void ToggleDownload()
{
    if (AppState.downloading != 0)
        StopDownload();
    else if (!AppState.fileList.Empty())
        StartDownload();
}

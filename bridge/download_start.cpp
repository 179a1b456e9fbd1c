#include "bridge/download_start.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/file_names.h"
#include "common/url.h"
#include "state/app_state.h"
#include "state/messages.h"

namespace {

// The engine fetches a few of them ahead; it needs to know no further.
constexpr size_t kFilesAnnounced = 64;

void Refuse(const char* message)
{
    CopyText(AppState.statusMessage, message);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

// Hands the head file to the engine, with its hash when it has one and the
// module can check it (an older module gets the plain start).
int32_t AskEngine(const FileEntry& entry)
{
    const uint64_t size = static_cast<uint64_t>(AppState.currentFileSize);
    const uint32_t low = static_cast<uint32_t>(size), high = static_cast<uint32_t>(size >> 32);
    AppState.currentFileName[0] = '\0';  // the engine's text, empty at the call
    if (entry.sha256[0] != '\0' && AppState.startVerified != nullptr)
        return AppState.startVerified(AppState.currentUrl, low, high, AppState.currentFileName, 0, entry.sha256);
    return AppState.engine->StartDownload(AppState.currentUrl, low, high, AppState.currentFileName, 0);
}

// The files after the head, for a module that fetches some of them ahead.
void AnnounceFollowingFiles()
{
    if (AppState.announceFollowing == nullptr) return;
    std::vector<FollowingFile> files;
    for (size_t i = 1; i < AppState.fileList.Count() && files.size() < kFilesAnnounced; ++i) {
        const FileEntry& entry = AppState.fileList.At(i);
        const uint64_t size = static_cast<uint64_t>(_strtoi64(entry.sizeText, nullptr, 10));
        files.push_back({entry.url, static_cast<uint32_t>(size), static_cast<uint32_t>(size >> 32), entry.sha256});
    }
    AppState.announceFollowing(files.data(), static_cast<uint32_t>(files.size()));
}

void ShowStarted(const char* name)
{
    CopyText(AppState.currentFileName, name);
    AppState.downloading = 1;
    AppState.totalProgress.SetRange(0, static_cast<int32_t>(AppState.totalSize / 1024));
    SetTimer(AppState.mainWindow, kProgressTimerId, kProgressTimerMs, nullptr);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

void StartDownload()
{
    // Everything is there: a start keeps the finished state.
    if (AppState.allDone != 0) return;
    const FileEntry& entry = AppState.fileList.Head();
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
    if (AppState.engine == nullptr) {
        Refuse(kMessageUseAnotherWay);
        return;
    }
    const int32_t answer = AskEngine(entry);
    // The job just paused may still be letting go: the start waits for it,
    // tried again at each tick of the progress timer.
    AppState.startPending = answer == kStartNotReady ? 1 : 0;
    if (answer != kStartAccepted && answer != kStartNotReady) {
        InvalidateRect(AppState.mainWindow, nullptr, TRUE);
        return;
    }
    if (answer == kStartAccepted) AnnounceFollowingFiles();
    ShowStarted(name);
}

// A waiting start, once more; a refusal for another reason ends it silently,
// as a refused start does.
void RetryPendingStart()
{
    const int32_t answer = AskEngine(AppState.fileList.Head());
    CopyText(AppState.currentFileName, LocalFileName(AppState.currentUrl));
    if (answer == kStartNotReady) return;
    AppState.startPending = 0;
    if (answer != kStartAccepted) StopDownload();
    else AnnounceFollowingFiles();
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
    AppState.startPending = 0;
    AppState.runOpen = 0;
    if (AppState.engine != nullptr) AppState.engine->CancelDownload();
    KillTimer(AppState.mainWindow, kProgressTimerId);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

LRESULT OnTimer(HWND window)
{
    if (AppState.startPending != 0) RetryPendingStart();
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

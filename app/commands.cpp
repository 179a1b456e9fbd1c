#include "app/commands.h"

#include <shlobj.h>

#include "bridge/download_start.h"
#include "state/app_state.h"
#include "state/messages.h"

void OnFolderClicked(BaseSkin*)
{
    if (AppState.statusMessage[0] == '\0' || AppState.retryAllowed == 1) ChangeDownloadFolder();
}

void OnAutoRunClicked(BaseSkin*) { ToggleAutoRun(); }

void OnCloseClicked(BaseSkin*) { CloseApplication(); }

// The engine gets the folder first: one it refuses is not taken, and the
// user may pick another one or start with the old one.
void UseDownloadFolder(const char* folder)
{
    if (AppState.engine != nullptr && AppState.engine->SetDownloadFolder(folder) < 0) {
        CopyText(AppState.statusMessage, kMessageFolderRefused);
        AppState.retryAllowed = 1;
        return;
    }
    CopyText(AppState.downloadFolder, folder);
}

void ChangeDownloadFolder()
{
    if (AppState.downloading != 0) return;
    if (AppState.completedBytes != 0 || AppState.currentBytesDone > 0) return;
    char folder[kTextSize] = {};
    AppState.statusMessage[0] = '\0';
    if (BrowseForFolder(AppState.mainWindow, folder) && folder[0] != '\0') UseDownloadFolder(folder);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

bool BrowseForFolder(void* owner, char* path)
{
    BROWSEINFOA info = {};
    info.hwndOwner = static_cast<HWND>(owner);
    info.lpszTitle = "Select Download Folder";
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (item == nullptr) return false;
    bool found = SHGetPathFromIDListA(item, path) != FALSE;
    IMalloc* allocator = nullptr;
    bool freed = SUCCEEDED(SHGetMalloc(&allocator));
    if (freed) {
        allocator->Free(item);
        allocator->Release();
    }
    return found && freed;
}

void ToggleAutoRun()
{
    AppState.autoRun = AppState.autoRun == 1 ? 0 : 1;
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

void CloseApplication()
{
    if (AppState.downloading != 0) return;
    if (AppState.quitting != 0) return;
    AppState.quitting = 1;
    if (AppState.engine != nullptr) {
        AppState.engine->Release();
        AppState.engine = nullptr;
    }
    if (AppState.engineModule != nullptr) {
        FreeLibrary(AppState.engineModule);
        AppState.engineModule = nullptr;
    }
    if (AppState.mainWindow != nullptr) {
        PostQuitMessage(0);
        AppState.mainWindow = nullptr;
    }
}

void OnDestroy()
{
    StopDownload();
    CloseApplication();
}

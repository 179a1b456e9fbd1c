#include "app/commands.h"

#include "app/app_state.h"

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
    AppState.downloading = 0;
    if (AppState.engine != nullptr) AppState.engine->CancelDownload();
    KillTimer(AppState.mainWindow, 1);
    CloseApplication();
}

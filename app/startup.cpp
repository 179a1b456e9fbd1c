#include "app/startup.h"

#include "app/app_state.h"

constexpr int kSkinBitmapResource = 113;

HRESULT RunStartUp(HWND)
{
    AppState.skinBitmap = LoadBitmapA(AppState.appInstance, MAKEINTRESOURCEA(kSkinBitmapResource));
    CopyText(AppState.totalDoneText, "0");
    CopyText(AppState.remainingText, "00:00:00");
    CopyText(AppState.speedText, "0 KB");
    AppState.allDone = 0;
    AppState.autoRun = 1;
    AppState.engine = nullptr;
    AppState.engineModule = nullptr;
    return S_OK;
}

#include "app/painting.h"

#include <shlwapi.h>

#include "app/app_state.h"
#include "common/gdi_scope.h"

namespace {

constexpr COLORREF kLabelColour = RGB(210, 210, 210);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kMessageColour = RGB(255, 0, 0);
constexpr char kAutoRunLabel[] = "다운로드 완료 후 자동실행";

struct Panel {
    int x, y, w, h, srcX, srcY;
    BYTE alpha;
};

// Translucent panels copied from the skin sheet.
const Panel kPanels[] = {
    {150, 180, 380, 140, 0, 0, 200},  // status panel
    {160, 230, 360, 15, 0, 142, 100},  // progress track
    {160, 250, 290, 15, 0, 160, 50},   // folder field
};

void DrawPanels(HDC dc)
{
    for (const Panel& panel : kPanels) {
        MemoryDc source(dc);
        SelectedObject sheet(source.Get(), AppState.skinBitmap);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, panel.alpha, 0};
        AlphaBlend(dc, panel.x, panel.y, panel.w, panel.h, source.Get(), panel.srcX, panel.srcY, panel.w, panel.h,
                   blend);
    }
}

void DrawWidgets(HDC dc, const RECT* paintRect)
{
    AppState.folderButton.Draw(dc, paintRect);
    AppState.closeButton.Draw(dc, paintRect);
    AppState.autoRunButton.Draw(dc, paintRect);
    AppState.checkBoxStatic.Draw(dc, paintRect);
    AppState.totalProgress.Draw(dc, paintRect);
    if (AppState.completedBytes != 0 || AppState.currentBytesDone > 0 || AppState.downloading == 1)
        AppState.folderGreyStatic.Draw(dc, paintRect);
    if (AppState.autoRun != 0) AppState.autoRunButton.Draw(dc, paintRect);
    if (AppState.downloading == 1) {
        AppState.pauseButton.Draw(dc, paintRect);
        AppState.closeGreyStatic.Draw(dc, paintRect);
    } else {
        AppState.startButton.Draw(dc, paintRect);
    }
}

void DrawLine(HDC dc, int x, int y, COLORREF colour, const char* text)
{
    SetTextColor(dc, colour);
    TextOutA(dc, x, y, text, static_cast<int>(strlen(text)));
}

void DrawTexts(HDC dc, const RECT* paintRect)
{
    char line[kTextSize];
    FormatText(line, sizeof line, "%s%s", "현재파일 : ", AppState.currentFileName);
    DrawLine(dc, 160, 193, kLabelColour, line);
    FormatText(line, sizeof line, "%s%s", "남은시간 : ", AppState.remainingText);
    DrawLine(dc, 160, 211, kLabelColour, line);
    FormatText(line, sizeof line, "%s%s", "전송속도 : ", AppState.speedText);
    DrawLine(dc, 412, 211, kLabelColour, line);
    FormatText(line, sizeof line, "%s M / %I64d M", AppState.totalDoneText, AppState.totalSize / 1024 / 1024);
    SetTextAlign(dc, TA_CENTER);
    DrawLine(dc, 338, 233, kBlack, line);
    SetTextAlign(dc, 0);
    if (strlen(AppState.statusMessage) >= 2) {
        AppState.messageIconStatic.Draw(dc, paintRect);
        FormatText(line, sizeof line, "%s", AppState.statusMessage);
        DrawLine(dc, 185, 287, kMessageColour, line);
    } else {
        DrawLine(dc, 185, 287, kLabelColour, kAutoRunLabel);
    }
    PathCompactPathExA(line, AppState.downloadFolder, 40, 0);
    DrawLine(dc, 162, 253, kBlack, line);
}

}  // namespace

void PaintWindowInto(HDC dc, const RECT& client, const RECT* paintRect)
{
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &client, white);
    DeleteObject(white);
    AppState.backgroundStatic.Draw(dc, paintRect);
    DrawPanels(dc);
    DrawWidgets(dc, paintRect);
    HFONT font = CreateFontA(11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGEUL_CHARSET, 0, 0, 0, 0, "돋움");
    SetMapMode(dc, MM_TEXT);
    SetBkMode(dc, TRANSPARENT);
    {
        SelectedObject selected(dc, font);
        DrawTexts(dc, paintRect);
    }
    DeleteObject(font);
}

LRESULT PaintWindow(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    {
        MemoryDc memory(ps.hdc);
        HBITMAP bitmap = CreateCompatibleBitmap(ps.hdc, client.right, client.bottom);
        {
            SelectedObject selected(memory.Get(), bitmap);
            // Only the invalid part is drawn and copied: while downloading the
            // timer invalidates the status panel alone, ten times a second.
            const RECT& part = ps.rcPaint;
            IntersectClipRect(memory.Get(), part.left, part.top, part.right, part.bottom);
            PaintWindowInto(memory.Get(), client, &part);
            BitBlt(ps.hdc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory.Get(),
                   part.left, part.top, SRCCOPY);
        }
        DeleteObject(bitmap);
    }
    EndPaint(window, &ps);
    return 0;
}

LRESULT OnTimer(HWND window)
{
    AppState.totalProgress.SetValue(
        static_cast<int32_t>((AppState.completedBytes + AppState.currentBytesDone) / 1024));
    RECT status = {143, 208, 530, 351};
    InvalidateRect(window, &status, TRUE);
    return 0;
}

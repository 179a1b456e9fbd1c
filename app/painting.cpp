#include "app/painting.h"

#include <shlwapi.h>

#include "common/gdi_scope.h"
#include "state/app_state.h"

namespace {

constexpr COLORREF kLabelColour = RGB(210, 210, 210);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kMessageColour = RGB(255, 0, 0);
constexpr char kAutoRunLabel[] = "다운로드 완료 후 자동실행";

void DrawPanels(HDC dc)
{
    for (const Panel& panel : {kStatusPanel, kProgressTrack, kFolderField}) {
        MemoryDc source(dc);
        SelectedObject sheet(source.Get(), AppState.skinBitmap);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, panel.alpha, 0};
        const Box& at = panel.at;
        AlphaBlend(dc, at.x, at.y, at.w, at.h, source.Get(), panel.srcX, panel.srcY, at.w, at.h, blend);
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

void DrawLine(HDC dc, POINT at, COLORREF colour, const char* text)
{
    SetTextColor(dc, colour);
    TextOutA(dc, at.x, at.y, text, static_cast<int>(strlen(text)));
}

void DrawTexts(HDC dc, const RECT* paintRect)
{
    char line[kTextSize];
    FormatText(line, sizeof line, "%s%s", "현재파일 : ", AppState.currentFileName);
    DrawLine(dc, kFileNameLine, kLabelColour, line);
    FormatText(line, sizeof line, "%s%s", "남은시간 : ", AppState.remainingText);
    DrawLine(dc, kRemainingLine, kLabelColour, line);
    FormatText(line, sizeof line, "%s%s", "전송속도 : ", AppState.speedText);
    DrawLine(dc, kSpeedLine, kLabelColour, line);
    FormatText(line, sizeof line, "%s M / %I64d M", AppState.totalDoneText, AppState.totalSize / 1024 / 1024);
    SetTextAlign(dc, TA_CENTER);
    DrawLine(dc, kMegabytesLine, kBlack, line);
    SetTextAlign(dc, 0);
    if (strlen(AppState.statusMessage) >= 2) {
        AppState.messageIconStatic.Draw(dc, paintRect);
        FormatText(line, sizeof line, "%s", AppState.statusMessage);
        DrawLine(dc, kStatusLine, kMessageColour, line);
    } else {
        DrawLine(dc, kStatusLine, kLabelColour, kAutoRunLabel);
    }
    PathCompactPathExA(line, AppState.downloadFolder, 40, 0);
    DrawLine(dc, kFolderLine, kBlack, line);
}

}  // namespace

void PaintWindowInto(HDC dc, const RECT& client, const RECT* paintRect)
{
    {
        const GdiObject<HBRUSH> white(CreateSolidBrush(RGB(255, 255, 255)));
        FillRect(dc, &client, white.Get());
    }
    AppState.backgroundStatic.Draw(dc, paintRect);
    DrawPanels(dc);
    DrawWidgets(dc, paintRect);
    const GdiObject<HFONT> font(
        CreateFontA(11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGEUL_CHARSET, 0, 0, 0, 0, "돋움"));
    SetMapMode(dc, MM_TEXT);
    SetBkMode(dc, TRANSPARENT);
    SelectedObject selected(dc, font.Get());
    DrawTexts(dc, paintRect);
}

LRESULT PaintWindow(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    {
        MemoryDc memory(ps.hdc);
        const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(ps.hdc, client.right, client.bottom));
        SelectedObject selected(memory.Get(), bitmap.Get());
        // Only the invalid part is drawn and copied: while downloading the
        // timer invalidates the status panel alone, ten times a second.
        const RECT& part = ps.rcPaint;
        IntersectClipRect(memory.Get(), part.left, part.top, part.right, part.bottom);
        PaintWindowInto(memory.Get(), client, &part);
        BitBlt(ps.hdc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory.Get(), part.left,
               part.top, SRCCOPY);
    }
    EndPaint(window, &ps);
    return 0;
}

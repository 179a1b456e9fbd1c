// The main window's geometry in client coordinates: where each widget,
// panel and text line stands, and the status area the progress timer
// repaints. Start-up lays the widgets out from here and painting draws here.
#pragma once
#include <windows.h>

struct Box {
    int x, y, w, h;
};

constexpr int kClientWidth = 544;
constexpr int kClientHeight = 340;

// Widgets. A button and its greyed look share a place, as do the start and
// pause buttons, and the check box, its tick and the message icon.
constexpr Box kBackgroundBox = {0, 0, kClientWidth, kClientHeight};
constexpr Box kFolderButtonBox = {468, 250, 50, 16};
constexpr Box kStartButtonBox = {390, 280, 60, 25};
constexpr Box kCloseButtonBox = {460, 280, 60, 25};
constexpr Box kCheckBoxBox = {165, 284, 15, 15};
constexpr Box kMessageIconBox = {165, 284, 16, 15};
constexpr Box kAutoRunBox = {165, 284, 160, 15};
// Translucent panels copied from the skin sheet: where, from where, how opaque.
struct Panel {
    Box at;
    int srcX, srcY;
    BYTE alpha;
};
constexpr Panel kStatusPanel = {{150, 180, 380, 140}, 0, 0, 200};
constexpr Panel kProgressTrack = {{160, 230, 360, 15}, 0, 142, 100};
constexpr Panel kFolderField = {{160, 250, 290, 15}, 0, 160, 50};

// The progress bar lies one pixel inside its track; its height comes from its image.
constexpr Box kProgressBarBox = {kProgressTrack.at.x + 1, kProgressTrack.at.y + 1, kProgressTrack.at.w - 2, 0};

// Text lines, left and top aligned but for the centred megabytes.
constexpr POINT kFileNameLine = {160, 193};
constexpr POINT kRemainingLine = {160, 211};
constexpr POINT kSpeedLine = {412, 211};
constexpr POINT kMegabytesLine = {338, 233};
constexpr POINT kStatusLine = {185, 287};
constexpr POINT kFolderLine = {162, 253};

// The texts and the progress bar; the bottom lies below the client area.
constexpr RECT kStatusArea = {143, 208, 530, 351};

// Starting and stopping the download of the head file of the list, with the
// progress timer that runs meanwhile.
#pragma once
#include <windows.h>

class BaseSkin;

constexpr UINT_PTR kProgressTimerId = 1;
constexpr UINT kProgressTimerMs = 100;

// "clicked" of the start and pause buttons.
void OnStartClicked(BaseSkin* widget);

// Starts the head file when no download runs, otherwise stops.
void ToggleDownload();

// Stops a running transfer and the progress timer (also when none runs).
void StopDownload();

// The progress timer's tick: tries a waiting start again, moves the progress
// bar and repaints the status area.
LRESULT OnTimer(HWND window);

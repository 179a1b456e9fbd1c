// Starting and stopping the download of the head file of the list.
#pragma once
class BaseSkin;

constexpr unsigned kProgressTimerId = 1;
constexpr unsigned kProgressTimerMs = 100;

// "clicked" of the start and pause buttons.
void OnStartClicked(BaseSkin* widget);

// Starts the head file when no download runs, otherwise stops.
void ToggleDownload();

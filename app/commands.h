// The user's commands besides starting and pausing the download.
#pragma once

class BaseSkin;

// "clicked" handlers of the folder button, the auto-run check box and the
// close button.
void OnFolderClicked(BaseSkin* widget);
void OnAutoRunClicked(BaseSkin* widget);
void OnCloseClicked(BaseSkin* widget);

// Lets the user pick a folder before the first byte arrives and hands it to
// the engine; clears the status message either way.
void ChangeDownloadFolder();

// Takes folder as the download folder when the engine takes it; otherwise
// says so, keeps the old one and lets the user pick again.
void UseDownloadFolder(const char* folder);

// Shell folder browser; path is a 512-byte buffer.
bool BrowseForFolder(void* owner, char* path);

void ToggleAutoRun();

// The close command: releases the engine, unloads its library and ends the
// message loop. Inert while a download runs; runs at most once.
void CloseApplication();

// The window is being destroyed by the system: stop everything, then close.
void OnDestroy();

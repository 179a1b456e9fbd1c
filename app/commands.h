// The user's commands besides starting and pausing the download.
#pragma once

// The close command: releases the engine, unloads its library and ends the
// message loop. Inert while a download runs; runs at most once.
void CloseApplication();

// The window is being destroyed by the system: stop everything, then close.
void OnDestroy();

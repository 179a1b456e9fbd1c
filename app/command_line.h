// The command line.
#pragma once

// Writes the built-in document URLs, then lets the command line override
// them: a first token replaces the settings URL; a second token replaces the
// file-list URL when it contains ".xml" and otherwise names one file to
// download (AppState.pendingEntry.url). Later tokens are ignored; a token
// of 512 bytes or more is refused.
void ApplyCommandLine(const char* commandLine);

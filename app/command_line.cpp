#include "app/command_line.h"

#include <cstring>
#include <string>

#include "config/server_urls.h"
#include "state/app_state.h"

void ApplyCommandLine(const char* commandLine)
{
    CopyText(AppState.settingsUrl, kBuiltInSettingsUrl);
    CopyText(AppState.fileListUrl, kBuiltInFileListUrl);

    std::string line = commandLine ? commandLine : "";
    char* context = nullptr;
    const char* first = strtok_r(line.data(), " ", &context);
    if (first == nullptr) return;
    CopyTextWhole(AppState.settingsUrl, first);

    const char* second = strtok_r(nullptr, " ", &context);
    if (second == nullptr) return;
    if (strstr(second, ".xml") != nullptr)
        CopyTextWhole(AppState.fileListUrl, second);
    else
        CopyTextWhole(AppState.pendingEntry.url, second);
}

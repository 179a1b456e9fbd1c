#include "recording_engine.h"

std::vector<EngineCall> RecordingEngine::calls;
int32_t RecordingEngine::startResult = 0;

namespace {

// cppcheck-suppress constParameter ; the contract fixes the signature
int32_t __stdcall Start(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char* text, int32_t reserved)
{
    RecordingEngine::calls.push_back({"StartDownload", url, (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow});
    return text[0] == '\0' && reserved == 0 ? RecordingEngine::startResult : -99;
}
int32_t __stdcall Cancel()
{
    RecordingEngine::calls.push_back({"CancelDownload", "", 0});
    return 0;
}
int32_t __stdcall SetFolder(const char* folder)
{
    RecordingEngine::calls.push_back({"SetDownloadFolder", folder, 0});
    return 0;
}
int32_t __stdcall Release()
{
    RecordingEngine::calls.push_back({"Release", "", 0});
    return 0;
}

}  // namespace

EngineInterface RecordingEngine::table = {Start, Cancel, SetFolder, nullptr, nullptr, nullptr, Release};

void RecordingEngine::Reset()
{
    calls.clear();
    startResult = 0;
}

#include "bridge/engine_events.h"

#include "bridge/download_start.h"
#include "common/file_names.h"
#include "common/sha256.h"
#include "common/win_handles.h"
#include "state/app_state.h"

namespace {

constexpr char kVerifyingText[] = "파일 확인 중";
constexpr char kComparingText[] = "이전 파일 비교 중";

struct ErrorText {
    int32_t code;
    const char* message;
    bool retry;
};

const ErrorText kErrorTexts[] = {
    {kErrorDiskFull, "디스크 공간이 부족합니다", false},
    {kErrorFileLocked, "기존파일 삭제 후, 다시 시도하세요 (201)", true},
    {kErrorFileLockedOther, "기존파일 삭제 후, 다시 시도하세요 (202)", true},
    {kErrorCreateFailed, "파일생성을 실패하였습니다", false},
    {kErrorWriteFailed, "파일쓰기를 실패하였습니다", true},
    {kErrorHttp403, "관리자에게 문의하세요. (403)", false},
    {kErrorHttp404, "관리자에게 문의하세요. (404)", false},
    {kErrorNetwork, "네트워크 연결을 확인하세요", false},
    {kErrorReboot, "재부팅후, 다시 시도하세요", false},
    {kErrorRangeRefused, "기존파일 삭제 후, 다시 시도하세요 (203)", true},
    {kErrorFat32Limit, "NTFS 파티션의 디스크로 저장위치 변경", false},
    {kErrorServer, "관리자에게 문의하세요 (500)", false},
    {kErrorVerifyFailed, "파일검증을 실패하였습니다", false},
    {kErrorServerChanged, "서버의 파일이 바뀌었습니다. 재실행 후 다시 시도하세요", false},
};

int64_t Megabytes(int64_t bytes) { return bytes / 1024 / 1024; }

int64_t RemainingBytes()
{
    return AppState.totalSize - AppState.completedBytes - AppState.currentBytesDone;
}

// Bytes fetched since the run's first file started (those a file had when
// it started were not), per millisecond.
int64_t Fetched() { return AppState.fetchedBefore + AppState.currentBytesDone - AppState.bytesAtStart; }
int64_t Speed(uint32_t elapsed) { return Fetched() / elapsed; }

void ShowSpeed(uint32_t elapsed) { FormatText(AppState.speedText, kTextSize, "%I64d KB", Speed(elapsed)); }

// Remaining time over the whole list; left as it was while the speed is 0.
void ShowRemaining(uint32_t elapsed)
{
    int64_t speed = Speed(elapsed);
    if (speed <= 0) return;
    char clock[kTextSize];
    FormatDuration(static_cast<uint32_t>(RemainingBytes() / (speed * 1024)), clock, sizeof clock);
    FormatText(AppState.remainingText, kTextSize, "%s", clock);
}

void OnStarted()
{
    if (AppState.runOpen != 0) return;
    AppState.runOpen = 1;
    AppState.fetchedBefore = 0;
    AppState.startTick = GetTickCount();
    CopyText(AppState.speedText, "0 KB");
}

void OnProgress()
{
    uint32_t elapsed = GetTickCount() - AppState.startTick;
    if (elapsed == 0 || AppState.currentBytesDone <= 0 || AppState.currentBytesDone == AppState.bytesAtStart) return;
    ShowSpeed(elapsed);
    if (RemainingBytes() > 0) ShowRemaining(elapsed);
    FormatText(AppState.totalDoneText, kTextSize, "%I64d", Megabytes(AppState.completedBytes + AppState.currentBytesDone));
}

// Only a plain name in the download folder is started, by its full path and
// from that folder, as Windows starts a program from its own folder: no
// search path is tried, and a launcher may open files beside itself. A
// failed start is not reported.
// The folder is the user's to write: a listed hash is checked once more on
// the file held open against writers and deleters, until it has started.
bool HoldListedBytes(const char* path, FileHandle& held)
{
    if (AppState.runFileSha256[0] == '\0') return true;
    held.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    char found[kSha256TextSize];
    if (held.Valid() && HashFileSha256(held.Get(), found) && lstrcmpiA(found, AppState.runFileSha256) == 0) return true;
    bool retry = false;
    CopyText(AppState.statusMessage, EngineErrorMessage(kErrorVerifyFailed, &retry));
    return false;
}

void RunDownloadedProgram()
{
    char path[MAX_PATH];
    char commandLine[kTextSize];
    FileHandle held;
    if (!IsSafeFileName(AppState.runFileName) ||
        !FormatText(path, sizeof path, "%s\\%s", AppState.downloadFolder, AppState.runFileName) ||
        !FormatText(commandLine, sizeof commandLine, "\"%s\"", path) || !HoldListedBytes(path, held))
        return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, AppState.downloadFolder, &startup,
                        &started))
        return;
    KernelHandle process(started.hProcess);
    KernelHandle thread(started.hThread);
}

// Said to an attached debugger only: without one, the debug-output exception
// is raised for no reader (and Wine under qemu-user dies of it when the
// engine's thread is alive).
void TraceFileDone()
{
    if (IsDebuggerPresent()) OutputDebugStringA("DONE\n");
}

// Paints the finished state now: the started program may hold the screen
// for seconds.
void ShowFinishedState()
{
    AppState.totalProgress.SetValue(static_cast<int32_t>(AppState.totalSize / 1024));
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
    UpdateWindow(AppState.mainWindow);
}

// The engine checks a finished file's hash before the file takes its name.
void OnVerifying() { CopyText(AppState.remainingText, kVerifyingText); }

// The engine compares an older copy under the file's name, before its bytes come.
void OnComparing() { CopyText(AppState.remainingText, kComparingText); }

void OnFinished()
{
    // A pause pressed while this event waited in the queue holds: the next
    // file waits for the start button.
    const bool paused = AppState.downloading == 0;
    TraceFileDone();
    uint32_t elapsed = GetTickCount() - AppState.startTick;
    if (elapsed != 0) {
        if (AppState.currentBytesDone != AppState.bytesAtStart) ShowSpeed(elapsed);
        if (RemainingBytes() > 0 && AppState.currentBytesDone - AppState.bytesAtStart > 0) ShowRemaining(elapsed);
    }
    AppState.completedBytes += AppState.currentBytesDone;
    AppState.fetchedBefore += std::max<int64_t>(0, AppState.currentBytesDone - AppState.bytesAtStart);
    if (AppState.completedBytes == AppState.totalSize) {
        CopyText(AppState.remainingText, "00:00:00");
        AppState.downloading = 0;
    }
    if (AppState.fileList.Count() > 1) {
        AppState.fileList.RemoveHead();
        AppState.downloading = 0;
        if (!paused) ToggleDownload();
    } else {
        FormatText(AppState.totalDoneText, kTextSize, "%I64d", Megabytes(AppState.totalSize));
        AppState.allDone = 1;
        ShowFinishedState();
    }
    if (AppState.autoRun == 1 && AppState.completedBytes == AppState.totalSize && AppState.runFileName[0] != '\0')
        RunDownloadedProgram();
}

void OnError(int32_t code)
{
    bool retry = false;
    const char* message = EngineErrorMessage(code, &retry);
    if (message != nullptr) {
        CopyText(AppState.statusMessage, message);
        if (retry) AppState.retryAllowed = 1;
    }
    AppState.downloading = 0;
    AppState.runOpen = 0;
}

}  // namespace

// cppcheck-suppress constParameter ; the engine's callback type fixes the signature
HRESULT __stdcall OnEngineEvent(void* context, int32_t event, uint32_t valueLow, uint32_t valueHigh)
{
    if (context == nullptr) return E_INVALIDARG;
    int64_t value = static_cast<int64_t>((static_cast<uint64_t>(valueHigh) << 32) | valueLow);
    switch (event) {
    case kEngineStarted:
        AppState.currentBytesDone = value;
        AppState.bytesAtStart = value;
        break;
    case kEngineProgress:
    case kEngineFinished: AppState.currentBytesDone = value; break;
    case kEngineVerifying:
    case kEngineComparing: break;
    case kEngineError: PostMessageA(AppState.mainWindow, WM_ENGINE_EVENT, kEngineError, valueLow); return S_OK;
    default: return S_OK;
    }
    PostMessageA(AppState.mainWindow, WM_ENGINE_EVENT, event, 0);
    return S_OK;
}

void HandleEngineEvent(WPARAM event, LPARAM code)
{
    switch (event) {
    case kEngineStarted: OnStarted(); break;
    case kEngineProgress: OnProgress(); break;
    case kEngineVerifying: OnVerifying(); break;
    case kEngineComparing: OnComparing(); break;
    case kEngineFinished: OnFinished(); break;
    case kEngineError: OnError(static_cast<int32_t>(code)); break;
    }
}

void FormatDuration(uint32_t seconds, char* out, size_t outSize)
{
    uint32_t parts[3] = {seconds / 3600, (seconds % 3600) / 60, seconds % 60};
    char texts[3][128];
    for (int i = 0; i < 3; ++i)
        FormatText(texts[i], sizeof texts[i], parts[i] < 10 ? "0%I64d" : "%I64d", static_cast<int64_t>(parts[i]));
    FormatText(out, outSize, "%s:%s:%s", texts[0], texts[1], texts[2]);
}

const char* EngineErrorMessage(int32_t code, bool* retryAllowed)
{
    for (const ErrorText& text : kErrorTexts) {
        // cppcheck-suppress useStlAlgorithm ; a plain table walk reads better here
        if (text.code == code) {
            *retryAllowed = text.retry;
            return text.message;
        }
    }
    *retryAllowed = false;
    return nullptr;
}

// A stand-in engine library for the program's tests. It keeps the engine
// contract, records every call with its arguments in order, notes every
// breach of the contract as a "violation:" line, and raises the events its
// script asks for (engine_script.h). Events are raised from thread timers
// of the thread that started the transfer, so they arrive while that
// thread pumps its messages; no thread of its own is started.
//
// The log is read in-process through ContractLog and, when the environment
// variable VEXIL_CONTRACT_LOG names a file, appended to it line by line. A
// first script may come from VEXIL_CONTRACT_SCRIPT.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "contract_engine.h"
#include "common/engine_contract.h"
#include "engine_script.h"

namespace {

struct ContractState {
    std::string log;
    EngineScript script;
    EngineCallback* callback = nullptr;  // the program's, read at every event
    DWORD thread = 0;                    // the thread that obtained the table
    bool obtained = false;
    bool released = false;
    StepList steps;  // the running transfer
    size_t nextStep = 0;
    UINT_PTR timer = 0;
    bool active = false;  // started, neither finished, failed nor cancelled
};

ContractState g_state;
int g_context = 0;  // its address is the callback's context

void Record(const std::string& line)
{
    g_state.log += line + "\n";
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VEXIL_CONTRACT_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void Violation(const std::string& text) { Record("violation: " + text); }

// Every operation of the table runs on the thread that obtained it, and
// none after Release.
void RecordCall(const std::string& line, const char* operation)
{
    Record(line);
    if (GetCurrentThreadId() != g_state.thread) Violation(std::string(operation) + " from another thread");
    if (g_state.released) Violation(std::string(operation) + " after Release");
}

// Texts of the contract are 512-byte buffers, terminator included.
bool IsText(const char* text) { return text != nullptr && strnlen(text, 512) < 512; }

// True when size writable bytes start at address.
bool IsWritable(const void* address, size_t size)
{
    MEMORY_BASIC_INFORMATION info = {};
    if (address == nullptr || VirtualQuery(address, &info, sizeof info) == 0) return false;
    const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    const char* end = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    return info.State == MEM_COMMIT && (info.Protect & writable) != 0 &&
           static_cast<size_t>(end - static_cast<const char*>(address)) >= size;
}

struct CallbackFrame {
    uint32_t arguments[4];  // context, event, value low, value high
    EngineCallback function;
};

// Calls the program's callback as the contract has it (stdcall, four 32-bit
// arguments) and measures how far the stack pointer moved across the call:
// 0 exactly when the callee removed its four arguments itself.
HRESULT CallMeasured(const CallbackFrame& frame, int32_t* stackShift)
{
    HRESULT result;
    int32_t shift;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "pushl 12(%2)\n\t"
        "pushl 8(%2)\n\t"
        "pushl 4(%2)\n\t"
        "pushl (%2)\n\t"
        "call *16(%2)\n\t"
        "movl %%esp, %1\n\t"
        "subl %%esi, %1\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "=c"(shift)
        : "b"(&frame)
        : "esi", "edx", "memory", "cc");
    *stackShift = shift;
    return result;
}

void Raise(const ScriptStep& step)
{
    const bool withContext = step.kind == ScriptStep::Raise;
    Record("event " + std::to_string(step.code) + " " + std::to_string(step.value) +
           (withContext ? "" : " context=null"));
    if (withContext && (step.code == kEngineFinished || step.code == kEngineError)) g_state.active = false;
    if (g_state.callback == nullptr || *g_state.callback == nullptr) return Violation("no callback to call");
    const CallbackFrame frame = {{withContext ? reinterpret_cast<uintptr_t>(&g_context) : 0u,
                                  static_cast<uint32_t>(step.code), static_cast<uint32_t>(step.value),
                                  static_cast<uint32_t>(step.value >> 32)},
                                 *g_state.callback};
    int32_t shift = 0;
    const HRESULT result = CallMeasured(frame, &shift);
    if (shift != 0) Violation("callback moved the stack by " + std::to_string(shift) + " bytes");
    const HRESULT expected = withContext ? S_OK : E_INVALIDARG;
    if (result != expected) Violation("callback answered " + std::to_string(result) + " to event " +
                                      std::to_string(step.code));
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR id, DWORD);

// Raises the running transfer's steps up to its next pause.
void RunSteps()
{
    while (g_state.nextStep < g_state.steps.size()) {
        const ScriptStep step = g_state.steps[g_state.nextStep++];
        if (step.kind == ScriptStep::Wait) {
            g_state.timer = SetTimer(nullptr, 0, static_cast<UINT>(step.value), OnTick);
            return;
        }
        Raise(step);
    }
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (id != g_state.timer) return;
    g_state.timer = 0;
    RunSteps();
}

void StopTransfer()
{
    if (g_state.timer != 0) KillTimer(nullptr, g_state.timer);
    g_state.timer = 0;
    g_state.steps.clear();
    g_state.nextStep = 0;
    g_state.active = false;
}

void CheckStartArguments(const char* url, char* text, int32_t reserved)
{
    if (strncmp(url, "http://", 7) != 0 && strncmp(url, "https://", 8) != 0)
        Violation("StartDownload URL is neither http:// nor https://");
    if (!IsWritable(text, 512)) Violation("StartDownload text is not a writable 512-byte buffer");
    else if (text[0] != '\0') Violation("StartDownload text is not empty");
    if (reserved != 0) Violation("StartDownload last argument is " + std::to_string(reserved));
    if (g_state.active) Violation("StartDownload while a transfer runs");
}

// Every start: the plain one, the one with the file's hash (hash not null)
// and the one with its block index too (blocks not null).
int32_t Start(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char* text, int32_t reserved, const char* hash,
              const char* blocks = nullptr)
{
    const char* operation = blocks ? "StartDeltaDownload" : hash ? "StartVerifiedDownload" : "StartDownload";
    if (!IsText(url) || (hash && strnlen(hash, 65) != 64) || (blocks && !IsText(blocks))) {
        Violation(std::string(operation) + " without a URL text, a hash of 64 digits or an index's URL text");
        return -1;
    }
    const uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    RecordCall(std::string(operation) + " " + url + " " + std::to_string(size) + (hash ? std::string(" ") + hash : "") +
                   (blocks ? std::string(" ") + blocks : ""),
               operation);
    CheckStartArguments(url, text, reserved);
    const char* slash = strrchr(url, '/');
    StepList steps = g_state.script.Next(slash != nullptr ? slash + 1 : url);
    if (!steps.empty() && steps[0].kind == ScriptStep::Refuse) return static_cast<int32_t>(steps[0].value);
    StopTransfer();
    g_state.steps = steps;
    g_state.active = true;
    g_state.timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnTick);
    return 0;
}

int32_t __stdcall StartDownload(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char* text, int32_t reserved)
{
    return Start(url, sizeLow, sizeHigh, text, reserved, nullptr);
}

int32_t __stdcall CancelDownload()
{
    RecordCall("CancelDownload", "CancelDownload");
    StopTransfer();
    return 0;
}

int32_t __stdcall SetDownloadFolder(const char* folder)
{
    if (!IsText(folder)) {
        Violation("SetDownloadFolder without a folder text");
        return -1;
    }
    RecordCall("SetDownloadFolder " + std::string(folder), "SetDownloadFolder");
    const StepList steps = g_state.script.Next("folder");
    return !steps.empty() && steps[0].kind == ScriptStep::Refuse ? static_cast<int32_t>(steps[0].value) : 0;
}

int32_t __stdcall Release()
{
    RecordCall("Release", "Release");
    if (g_state.active) Violation("Release while a transfer runs");
    StopTransfer();
    g_state.released = true;
    return 0;
}

// Slots 3 to 5 are never called; the stack cannot be trusted afterwards,
// so the breach is recorded and the process ends.
template <int Slot> void __stdcall NeverCalled()
{
    Violation("slot " + std::to_string(Slot) + " called");
    ExitProcess(3);
}

EngineInterface g_table = {StartDownload,
                           CancelDownload,
                           SetDownloadFolder,
                           reinterpret_cast<void*>(NeverCalled<3>),
                           reinterpret_cast<void*>(NeverCalled<4>),
                           reinterpret_cast<void*>(NeverCalled<5>),
                           Release};

std::string DescribeWindow(HWND window)
{
    if (window == GetDesktopWindow()) return "desktop";
    return IsWindow(window) ? "window" : "invalid";
}

void CheckInterfaceArguments(EngineCallback* callback, int32_t one, int32_t encrypt, int32_t reportMode,
                             int32_t userInfoMode)
{
    if (callback == nullptr || *callback == nullptr) Violation("GetVDInterface without a callback");
    if (one != 1) Violation("GetVDInterface fourth argument is not 1");
    if (encrypt != 0 && encrypt != 1) Violation("GetVDInterface encrypt flag out of range");
    if (reportMode < 0 || reportMode > 3) Violation("GetVDInterface report mode out of range");
    if (userInfoMode != 1 && userInfoMode != 2) Violation("GetVDInterface user-info mode out of range");
    if (g_state.obtained) Violation("GetVDInterface called again");
}

void LoadScriptText(const char* text)
{
    std::vector<std::string> errors;
    g_state.script.Load(text, &errors);
    for (const std::string& error : errors) Violation("script step not understood: " + error);
}

void LoadScriptFromEnvironment()
{
    char text[4096];
    const DWORD length = GetEnvironmentVariableA("VEXIL_CONTRACT_SCRIPT", text, sizeof text);
    if (length > 0 && length < sizeof text) LoadScriptText(text);
}

}  // namespace

extern "C" EngineInterface* __stdcall GetVDInterface(const char* serviceId, const char* serverList,
                                                     EngineCallback* callback, int32_t one, int32_t encrypt,
                                                     int32_t reportMode, int32_t userInfoMode, HWND reference)
{
    if (!IsText(serviceId) || !IsText(serverList)) {
        Violation("GetVDInterface without service or server texts");
        return nullptr;
    }
    Record("GetVDInterface service=" + std::string(serviceId) + " servers=" + serverList +
           " one=" + std::to_string(one) + " encrypt=" + std::to_string(encrypt) + " report=" +
           std::to_string(reportMode) + " userinfo=" + std::to_string(userInfoMode) +
           " reference=" + DescribeWindow(reference));
    CheckInterfaceArguments(callback, one, encrypt, reportMode, userInfoMode);
    if (!g_state.obtained) LoadScriptFromEnvironment();
    g_state.obtained = true;
    g_state.thread = GetCurrentThreadId();
    g_state.callback = callback;
    return &g_table;
}

extern "C" int32_t __stdcall StartVerifiedDownload(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char* text,
                                                   int32_t reserved, const char* sha256)
{
    return Start(url, sizeLow, sizeHigh, text, reserved, sha256 ? sha256 : "");
}

extern "C" int32_t __stdcall StartDeltaDownload(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char* text,
                                                int32_t reserved, const char* sha256, const char* blocksUrl)
{
    return Start(url, sizeLow, sizeHigh, text, reserved, sha256 ? sha256 : "", blocksUrl ? blocksUrl : "");
}

extern "C" const char* __stdcall ContractLog() { return g_state.log.c_str(); }

extern "C" void __stdcall ContractScript(const char* script) { LoadScriptText(script); }

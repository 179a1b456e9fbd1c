// The contract-checking engine library itself: a caller that breaks the
// contract is caught, and the log reaches the file the environment names.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "contract_engine.h"
#include "common/engine_contract.h"
#include "support/host_path.h"

namespace {

HRESULT g_answer = S_OK;

HRESULT __stdcall StdcallCallback(void*, int32_t, uint32_t, uint32_t) { return g_answer; }

// The wrong calling convention: the caller is left to remove the arguments.
HRESULT __cdecl CdeclCallback(void*, int32_t, uint32_t, uint32_t) { return S_OK; }

class ContractChecker : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryA(HostPath(CONTRACT_ENGINE_PATH).c_str());
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override
    {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    template <class Proc> Proc Export(const char* name) const
    {
        return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    EngineInterface* Obtain(EngineCallback* callback, int32_t one = 1, int32_t encrypt = 0, int32_t report = 0,
                            int32_t userInfo = 2) const
    {
        return Export<GetVDInterfaceProc>("GetVDInterface")("svc", "a;b", callback, one, encrypt, report, userInfo,
                                                             GetDesktopWindow());
    }
    std::vector<std::string> Lines(const std::string& prefix) const
    {
        std::vector<std::string> lines;
        std::istringstream in(Export<ContractLogProc>("ContractLog")());
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        return lines;
    }
    // Lets the library's timers raise the scripted events.
    static void Pump(DWORD ms)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            Sleep(5);
        }
    }

    HMODULE module_ = nullptr;
};

}  // namespace

TEST_F(ContractChecker, ArgumentsOutsideTheContractAreViolations)
{
    EngineCallback callback = StdcallCallback;
    EngineInterface* engine = Obtain(&callback, 2, 5, 9, 0);
    ASSERT_NE(nullptr, engine);
    char text[512] = "not empty";
    engine->StartDownload("ftp://host/a.bin", 10, 0, text, 3);
    engine->StartDownload("http://host/a.bin", 10, 0, text + 500, 0);
    Obtain(&callback);
    engine->Release();
    engine->CancelDownload();
    EXPECT_EQ((std::vector<std::string>{
                  "violation: GetVDInterface fourth argument is not 1",
                  "violation: GetVDInterface encrypt flag out of range",
                  "violation: GetVDInterface report mode out of range",
                  "violation: GetVDInterface user-info mode out of range",
                  "violation: StartDownload URL is not http://",
                  "violation: StartDownload text is not empty",
                  "violation: StartDownload last argument is 3",
                  "violation: StartDownload while a transfer runs",
                  "violation: GetVDInterface called again",
                  "violation: Release while a transfer runs",
                  "violation: CancelDownload after Release",
              }),
              Lines("violation: "));
}

TEST_F(ContractChecker, ACallbackOfAnotherConventionOrAnswerIsCaught)
{
    EngineCallback callback = reinterpret_cast<EngineCallback>(reinterpret_cast<void*>(CdeclCallback));
    EngineInterface* engine = Obtain(&callback);
    ASSERT_NE(nullptr, engine);
    Export<ContractScriptProc>("ContractScript")("a.bin: started 5, wait 10, null 1002 6, finished 7 | b.bin: oops 1");
    char text[512] = {};
    EXPECT_EQ(0, engine->StartDownload("http://host/a.bin", 7, 0, text, 0));
    Pump(200);
    callback = StdcallCallback;
    g_answer = E_FAIL;
    EXPECT_EQ(0, engine->StartDownload("http://host/a.bin", 7, 0, text, 0));
    Pump(200);
    g_answer = S_OK;
    EXPECT_EQ((std::vector<std::string>{
                  "violation: script step not understood: oops 1",
                  "violation: callback moved the stack by -16 bytes",
                  "violation: callback moved the stack by -16 bytes",
                  "violation: callback answered 0 to event 1002",
                  "violation: callback moved the stack by -16 bytes",
                  "violation: callback answered " + std::to_string(E_FAIL) + " to event 1001",
                  "violation: callback answered " + std::to_string(E_FAIL) + " to event 1002",
                  "violation: callback answered " + std::to_string(E_FAIL) + " to event 1004",
              }),
              Lines("violation: "));
    EXPECT_EQ(6u, Lines("event ").size());
    engine->Release();
}

TEST_F(ContractChecker, TheLogAlsoGoesToTheFileTheEnvironmentNames)
{
    const std::string path = FreshTempDir("contract") + "\\engine.log";
    SetEnvironmentVariableA("VEXIL_CONTRACT_LOG", path.c_str());
    SetEnvironmentVariableA("VEXIL_CONTRACT_SCRIPT", "a.bin: refuse 9");
    EngineCallback callback = StdcallCallback;
    EngineInterface* engine = Obtain(&callback);
    ASSERT_NE(nullptr, engine);
    char text[512] = {};
    EXPECT_EQ(9, engine->StartDownload("http://host/a.bin", 1, 0, text, 0));
    engine->Release();
    SetEnvironmentVariableA("VEXIL_CONTRACT_LOG", nullptr);
    SetEnvironmentVariableA("VEXIL_CONTRACT_SCRIPT", nullptr);
    EXPECT_EQ("GetVDInterface service=svc servers=a;b one=1 encrypt=0 report=0 userinfo=2 reference=desktop\r\n"
              "StartDownload http://host/a.bin 1\r\nRelease\r\n",
              ReadWholeFile(path));
    DeleteFileA(path.c_str());
}

// A fresh state record, a hidden window to receive posted engine events and
// timers, and the contract-checking engine in place, as start-up leaves it.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "bridge/engine_events.h"
#include "engine_double/contract_library.h"
#include "support/fresh_state.h"
#include "support/host_path.h"

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        ASSERT_TRUE(library_.Load(HostPath(CONTRACT_ENGINE_PATH)));
        window_ = CreateWindowExA(0, "STATIC", "bridge", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        AppState.mainWindow = window_;
        UseEngine();
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        folder_ = std::string(temp) + "vexil bridge " + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        CopyText(AppState.downloadFolder, folder_.c_str());
    }
    void TearDown() override
    {
        EXPECT_EQ(std::vector<std::string>(), library_.Violations());
        engine_->CancelDownload();  // its timers must not outlive the library
        engine_->Release();
        library_.Unload();
        DestroyWindow(window_);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &found);
        while (search != INVALID_HANDLE_VALUE) {
            DeleteFileA((folder_ + "\\" + found.cFileName).c_str());
            if (!FindNextFileA(search, &found)) break;
        }
        FindClose(search);
        RemoveDirectoryA(folder_.c_str());
    }
    void UseEngine()
    {
        AppState.engineCallback = OnEngineEvent;
        if (engine_ == nullptr) engine_ = library_.Obtain(&AppState.engineCallback);
        AppState.engine = engine_;
        AppState.startVerified = reinterpret_cast<StartVerifiedDownloadProc>(
            reinterpret_cast<void*>(GetProcAddress(library_.Module(), kStartVerifiedDownloadExport)));
        AppState.startDelta = reinterpret_cast<StartDeltaDownloadProc>(
            reinterpret_cast<void*>(GetProcAddress(library_.Module(), kStartDeltaDownloadExport)));
    }
    // What the program asked of the engine, after obtaining it.
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> calls = library_.Calls();
        calls.erase(calls.begin());
        return calls;
    }
    void AddFile(const char* url, const char* sizeText, const char* sha256 = "", const char* blocks = "")
    {
        FileEntry entry = {};
        CopyText(entry.url, url);
        CopyText(entry.sizeText, sizeText);
        CopyText(entry.sha256, sha256);
        CopyText(entry.blocks, blocks);
        AppState.fileList.Append(entry);
        AppState.totalSize += _strtoi64(sizeText, nullptr, 10);
    }
    // Messages of one kind waiting in the queue, in order, as (wParam, lParam).
    std::vector<std::pair<WPARAM, LPARAM>> Posted(UINT message)
    {
        std::vector<std::pair<WPARAM, LPARAM>> found;
        MSG msg;
        while (PeekMessageA(&msg, window_, message, message, PM_REMOVE)) found.emplace_back(msg.wParam, msg.lParam);
        return found;
    }
    std::string LocalPath(const char* name) const { return folder_ + "\\" + name; }
    void WriteLocalFile(const char* name, int64_t size)
    {
        HANDLE file = CreateFileA(LocalPath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = size;
        SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
    }
    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    ContractLibrary library_;
    EngineInterface* engine_ = nullptr;
    HWND window_ = nullptr;
    std::string folder_;
};

// The contract between the downloader and the transfer engine library
// (tkwengine.dll): one export, a table of stdcall operations without an
// object pointer, and one callback for events. Shared by both sides.
#pragma once
#include <windows.h>
#include <cstdint>

constexpr UINT WM_ENGINE_EVENT = WM_USER + 10;

enum EngineEvent : int32_t {
    kEngineStarted = 1001,
    kEngineProgress = 1002,
    kEngineFinished = 1004,
    // Every byte is there and the file's hash is being checked before it
    // takes its name; the value is the bytes checked so far. It also comes
    // before Started while a local file of the expected size is checked.
    // Only a module that exports StartVerifiedDownload sends it.
    kEngineVerifying = 1005,
    kEngineError = 1020,
};

// Error codes carried by kEngineError.
enum EngineError : int32_t {
    kErrorDiskFull = 2001,
    kErrorFileLocked = 2002,
    kErrorFileLockedOther = 2003,
    kErrorCreateFailed = 2004,
    kErrorWriteFailed = 2005,
    kErrorHttp403 = 2006,
    kErrorHttp404 = 2007,
    kErrorNetwork = 2008,
    kErrorReboot = 2009,
    kErrorRangeRefused = 2010,
    kErrorFat32Limit = 2011,
    kErrorServer = 2020,
    kErrorVerifyFailed = 2021,   // no server gave a copy with the file's hash
    kErrorServerChanged = 2022,  // the server's file has another size than the program was given
};

// What StartDownload returns: 0 when the job is accepted, else why it is not.
enum StartResult : int32_t {
    kStartAccepted = 0,
    kStartNotReady = 1,     // a job still runs (or reports its end), or no download folder is set
    kStartBadUrl = 2,       // not an http or https URL, or its file name is not safe
    kStartPathTooLong = 3,  // the folder and the file name exceed MAX_PATH
    kStartNoThread = 4,     // the job's thread could not be started
    kStartBadHash = 5,      // StartVerifiedDownload's hash is not 64 hex digits
    kStartReleased = -1,    // the engine was released
};

// context, event, value low 32 bits, value high 32 bits.
typedef HRESULT(__stdcall* EngineCallback)(void* context, int32_t event, uint32_t valueLow, uint32_t valueHigh);

struct EngineInterface {
    // url, expected size (low, high), writable 512-byte text, 0.
    int32_t(__stdcall* StartDownload)(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char* text, int32_t reserved);
    int32_t(__stdcall* CancelDownload)();
    int32_t(__stdcall* SetDownloadFolder)(const char* folder);
    // Present for the layout; never called by the downloader.
    void* unusedSlot3;
    void* unusedSlot4;
    void* unusedSlot5;
    int32_t(__stdcall* Release)();
};

// An engine module may also export StartVerifiedDownload: StartDownload with
// the file's SHA-256 (64 hex digits, letter case ignored). The file then
// takes its name only with bytes of that hash, and a local file of the
// expected size counts as done only with it. The program uses it for a file
// whose list entry carries a hash, when the module exports it; an older
// module gets StartDownload, as before.
constexpr char kStartVerifiedDownloadExport[] = "StartVerifiedDownload";
typedef int32_t(__stdcall* StartVerifiedDownloadProc)(const char* url, uint32_t sizeLow, uint32_t sizeHigh,
                                                      char* text, int32_t reserved, const char* sha256);

// An engine module may also export AnnounceFollowingFiles. Right after a
// start is accepted, the program names the files that follow the started
// one in its list, in order, as their starts would name them (hash empty
// when none is listed). The module may fetch some of them ahead; each still
// comes through a start of its own when its turn comes, with events for it
// alone, as if it were fetched then. An older module without it gets the
// files one at a time.
struct FollowingFile {
    const char* url;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    const char* sha256;  // 64 hex digits, or empty
};
constexpr char kAnnounceFollowingFilesExport[] = "AnnounceFollowingFiles";
typedef int32_t(__stdcall* AnnounceFollowingFilesProc)(const FollowingFile* files, uint32_t count);

// serviceId, serverList, address of the callback, 1, encrypt, report mode,
// user-info mode, reference window.
typedef EngineInterface*(__stdcall* GetVDInterfaceProc)(const char* serviceId, const char* serverList,
                                                          EngineCallback* callback, int32_t one, int32_t encrypt,
                                                          int32_t reportMode, int32_t userInfoMode, HWND reference);

// The one process-wide state record of the downloader.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>

#include "common/engine_contract.h"
#include "common/sha256.h"
#include "common/text.h"
#include "skin/button_skin.h"
#include "skin/slider_skin.h"
#include "skin/static_skin.h"
#include "state/layout.h"

// Lower-case hex SHA-256 of the only engine library start-up loads, fixed by
// the build; empty when any will do.
extern const char kEngineLibraryPin[];

// The publisher's public keys (common/signature.h), separated by ';', one of
// which must sign each document; fixed by the build, empty when documents
// are taken unsigned.
extern const char kPublisherKeys[];

// One file to download, copied by value.
struct FileEntry {
    char url[kTextSize];               // absolute URL; its last "/" segment is the local name
    char sizeText[kTextSize];          // size in bytes as decimal text, "0" until known
    char sha256[kSha256TextSize];      // the publisher's hash, 64 lower-case hex digits; empty: none
    char blocks[kTextSize];            // absolute URL of the file's block index; empty: none (always without a hash)
};

// Files still to download: appended at the tail, consumed from the head.
class FileList {
public:
    void Append(const FileEntry& entry) { entries_.push_back(entry); }
    const FileEntry& Head() const { return entries_.front(); }
    const FileEntry& At(size_t index) const { return entries_[index]; }
    void RemoveHead() { entries_.pop_front(); }
    size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    void Clear() { entries_.clear(); }

private:
    std::deque<FileEntry> entries_;
};

struct AppStateRecord {
    // Configuration.
    char settingsUrl[kTextSize] = {};
    char fileListUrl[kTextSize] = {};
    char windowTitle[kTextSize] = {};
    char serviceId[kTextSize] = {};
    int32_t encryptFlag = 0;
    int32_t userInfoMode = 0;
    int32_t reportMode = 0;
    char serverList[kTextSize] = {};
    char downloadFolder[kTextSize] = {};
    char subFolderName[kTextSize] = {};
    char imageUrl[kTextSize] = {};
    char engineLibraryPath[kTextSize] = {};
    const char* engineLibraryPin = kEngineLibraryPin;  // SHA-256 text; empty: any library
    const char* publisherKeys = kPublisherKeys;        // empty: documents unsigned
    int32_t keepsDocumentVersions = 1;                 // 0: no version taken before counts, none is kept
    char signedEnginePin[kSha256TextSize] = {};        // the signed settings' engine library hash
    char runFileName[kTextSize] = {};
    char runFileSha256[kSha256TextSize] = {};  // its listed hash; empty: none

    // File list.
    FileEntry pendingEntry = {};
    FileList fileList;
    int32_t unfoundFiles = 0;  // listed, but their servers answered with an error

    // Transfer counters. The two atomics are written on the engine's thread:
    // a 64-bit value must never be read half-written in a 32-bit process.
    char currentUrl[kTextSize] = {};
    int64_t currentFileSize = 0;
    int64_t totalSize = 0;
    std::atomic<int64_t> currentBytesDone{0};
    int64_t completedBytes = 0;
    std::atomic<int64_t> bytesAtStart{0};
    // The speed counts every byte fetched since the user pressed start, the
    // files fetched ahead of their turn included: startTick is when the
    // first file of the run started, fetchedBefore what the run fetched for
    // the files it finished.
    uint32_t startTick = 0;
    int32_t runOpen = 0;
    int64_t fetchedBefore = 0;

    // Display texts.
    char currentFileName[kTextSize] = {};
    char speedText[kTextSize] = {};
    char remainingText[kTextSize] = {};
    char totalDoneText[kTextSize] = {};
    char statusMessage[kTextSize] = {};

    // Mode flags.
    int32_t downloading = 0;
    int32_t allDone = 0;
    int32_t autoRun = 0;
    int32_t quitting = 0;
    int32_t retryAllowed = 0;
    int32_t startPending = 0;  // a start the engine was not ready for, tried again at each timer tick

    // Engine handles.
    HMODULE engineModule = nullptr;
    EngineInterface* engine = nullptr;
    EngineCallback engineCallback = nullptr;
    StartVerifiedDownloadProc startVerified = nullptr;  // the module's export, when it has one
    StartDeltaDownloadProc startDelta = nullptr;        // the same
    AnnounceFollowingFilesProc announceFollowing = nullptr;  // the module's export, when it has one

    // Window and resources.
    HINSTANCE appInstance = nullptr;
    HWND mainWindow = nullptr;
    int32_t clientWidth = kClientWidth;
    int32_t clientHeight = kClientHeight;
    HBITMAP skinBitmap = nullptr;
    HBITMAP backgroundBitmap = nullptr;

    // Pointer tracking.
    BaseSkin* pressedWidget = nullptr;
    BaseSkin* hoverWidget = nullptr;
    int32_t draggingWindow = 0;
    RECT dragWindowRect = {};
    POINT dragOrigin = {};

    // Widgets, constructed in this order and destroyed in reverse.
    StaticSkin backgroundStatic;
    StaticSkin checkBoxStatic;
    StaticSkin closeGreyStatic;
    StaticSkin folderGreyStatic;
    StaticSkin messageIconStatic;
    ButtonSkin folderButton;
    ButtonSkin startButton;
    ButtonSkin pauseButton;
    ButtonSkin closeButton;
    ButtonSkin autoRunButton;
    SliderSkin totalProgress;
};

extern AppStateRecord AppState;

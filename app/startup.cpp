#include "app/startup.h"

#include <shlobj.h>

#include "app/commands.h"
#include "app/repaint.h"
#include "bridge/download_start.h"
#include "bridge/engine_events.h"
#include "config/background_picture.h"
#include "config/documents.h"
#include "config/engine_library.h"
#include "config/signed_document.h"
#include "state/app_state.h"
#include "state/messages.h"

namespace {

constexpr int kSkinBitmapResource = 113;

struct ImageSpec {
    const char* name;
    int x, y, w, h;
};

// One row of the window's layout: size, place, images and click handler.
struct LayoutRow {
    BaseSkin* widget;
    Box box;
    bool onBackground;  // image from the background picture, else the skin sheet
    ImageSpec images[3];
    SkinCallback clicked;  // buttons only; statics get no callbacks
};

void LayOutRow(const LayoutRow& row)
{
    row.widget->Resize(row.box.w, row.box.h);
    row.widget->MoveTo(row.box.x, row.box.y);
    HBITMAP bitmap = row.onBackground ? AppState.backgroundBitmap : AppState.skinBitmap;
    for (const ImageSpec& image : row.images) {
        if (image.w == 0) break;
        row.widget->SetImage(image.name, bitmap, image.x, image.y, image.w, image.h, 0);
    }
    if (row.clicked != nullptr) {
        row.widget->SetCallback("paint", RepaintWidget);
        row.widget->SetCallback("clicked", row.clicked);
    }
}

void LayOutProgressBar()
{
    SliderSkin& bar = AppState.totalProgress;
    bar.SetBounds(kProgressBarBox.x, kProgressBarBox.y, kProgressBarBox.w, kProgressBarBox.h);
    bar.SetImage("pass", AppState.skinBitmap, 362, 142, 1, 13, 0);
    bar.SetCallback("paint", RepaintWidget);
    bar.SetValue(0);
    bar.SetDisabled(false);
}

// The images' source rectangles: the cells of the skin sheet (tile mode cuts
// a larger source to the widget).
void LayOutWidgets()
{
    AppStateRecord& s = AppState;
    const LayoutRow before[] = {
        {&s.backgroundStatic, kBackgroundBox, true, {{nullptr, 0, 0, 544, 340}}, nullptr},
        {&s.folderButton, kFolderButtonBox, false, {{"normal", 0, 176, 160, 270}, {"down", 52, 176, 160, 270}},
         OnFolderClicked},
        {&s.startButton, kStartButtonBox, false,
         {{"normal", 0, 194, 60, 615}, {"hover", 62, 194, 122, 615}, {"down", 124, 194, 184, 615}}, OnStartClicked},
        {&s.pauseButton, kStartButtonBox, false,
         {{"normal", 0, 221, 60, 615}, {"hover", 62, 221, 122, 615}, {"down", 124, 221, 184, 615}}, OnStartClicked},
        {&s.closeButton, kCloseButtonBox, false,
         {{"normal", 0, 248, 60, 642}, {"hover", 62, 248, 122, 642}, {"down", 124, 248, 184, 642}}, OnCloseClicked},
    };
    const LayoutRow after[] = {
        {&s.checkBoxStatic, kCheckBoxBox, false, {{nullptr, 156, 176, 488, 583}}, nullptr},
        {&s.messageIconStatic, kMessageIconBox, false, {{nullptr, 190, 176, 488, 583}}, nullptr},
        {&s.closeGreyStatic, kCloseButtonBox, false, {{nullptr, 186, 248, 60, 642}}, nullptr},
        {&s.folderGreyStatic, kFolderButtonBox, false, {{nullptr, 104, 176, 160, 270}}, nullptr},
        {&s.autoRunButton, kAutoRunBox, false, {{"normal", 366, 176, 488, 583}}, OnAutoRunClicked},
    };
    for (const LayoutRow& row : before) LayOutRow(row);
    LayOutProgressBar();
    for (const LayoutRow& row : after) LayOutRow(row);
}

void CentreWindow(HWND window, HWND reference)
{
    RECT p, w;
    GetWindowRect(reference, &p);
    GetWindowRect(window, &w);
    int x = p.left + ((p.right - p.left) - (w.right - w.left)) / 2;
    int y = p.top + ((p.bottom - p.top) - (w.bottom - w.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE);
}

// Turns the settings document's folder keyword into a path, then appends
// the sub-folder.
void ResolveDownloadFolder()
{
    struct Keyword {
        const char* name;
        int csidl;
    };
    const Keyword keywords[] = {
        {"DeskTop", CSIDL_DESKTOP},
        {"ProgramFiles", CSIDL_PROGRAM_FILES},
        {"AppData", CSIDL_APPDATA},
        {"SystemDrive", CSIDL_WINDOWS},
    };
    int csidl = CSIDL_DESKTOP;
    for (const Keyword& keyword : keywords)
        if (lstrcmpiA(AppState.downloadFolder, keyword.name) == 0) csidl = keyword.csidl;
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE);
    if (csidl == CSIDL_WINDOWS) folder[3] = '\0';  // the drive root, such as C:\ .
    CopyText(AppState.downloadFolder, folder);
    if (strlen(AppState.subFolderName) > 1) {
        char joined[kTextSize];
        if (FormatText(joined, sizeof joined, "%s\\%s", AppState.downloadFolder, AppState.subFolderName))
            CopyText(AppState.downloadFolder, joined);
    }
}

// Under the publisher's key the library must be pinned (by the build or
// the signed settings) and check each file's hash itself: a library a
// server chose, or one that starts files unchecked, would undo the
// signature.
bool SignedRulesAllow(const char* pin) { return !PublisherKeysPinned() || pin[0] != '\0'; }

// Loads the engine library, obtains the engine object and gives it the
// folder; returns the engine's answer to the folder, or E_FAIL.
HRESULT LoadEngine(HWND reference)
{
    if (!SignedRulesAllow(AppState.engineLibraryPin)) return E_FAIL;
    AppState.engineModule = LoadPinnedLibrary(AppState.engineLibraryPath, AppState.engineLibraryPin);
    if (AppState.engineModule == nullptr) return E_FAIL;
    // Through void*: FARPROC and the export's real type are unrelated function types.
    auto getInterface = reinterpret_cast<GetVDInterfaceProc>(
        reinterpret_cast<void*>(GetProcAddress(AppState.engineModule, "GetVDInterface")));
    if (getInterface == nullptr) return E_FAIL;
    AppState.startVerified = reinterpret_cast<StartVerifiedDownloadProc>(
        reinterpret_cast<void*>(GetProcAddress(AppState.engineModule, kStartVerifiedDownloadExport)));
    if (AppState.startVerified == nullptr && PublisherKeysPinned()) return E_FAIL;
    AppState.startDelta = reinterpret_cast<StartDeltaDownloadProc>(
        reinterpret_cast<void*>(GetProcAddress(AppState.engineModule, kStartDeltaDownloadExport)));
    AppState.announceFollowing = reinterpret_cast<AnnounceFollowingFilesProc>(
        reinterpret_cast<void*>(GetProcAddress(AppState.engineModule, kAnnounceFollowingFilesExport)));
    AppState.engineCallback = OnEngineEvent;
    AppState.engine = getInterface(AppState.serviceId, AppState.serverList, &AppState.engineCallback, 1,
                                   AppState.encryptFlag, AppState.reportMode, AppState.userInfoMode, reference);
    if (AppState.engine == nullptr) return E_FAIL;
    return AppState.engine->SetDownloadFolder(AppState.downloadFolder);
}

// An engine that cannot be used leaves no way to download here, whichever
// step failed.
HRESULT StartEngine(HWND reference)
{
    const HRESULT rc = LoadEngine(reference);
    if (rc < 0) CopyText(AppState.statusMessage, kMessageUseAnotherWay);
    return rc < 0 ? E_FAIL : rc;
}

// The documents and what they name, each step by name. The file list
// follows the directly named file, which heads the list.
HRESULT ReadDocuments()
{
    if (FAILED(ReadSettingsDocument())) return E_FAIL;
    EnsureEngineLibrary();
    LoadBackgroundPicture();
    AddDirectlyNamedFile();
    if (strlen(AppState.fileListUrl) >= 2 && FAILED(ReadFileListDocument())) return E_FAIL;
    return S_OK;
}

// Said before the first start, which clears it: the rest of the list can
// still be downloaded.
void ReportUnfoundFiles()
{
    if (AppState.unfoundFiles == 0) return;
    FormatText(AppState.statusMessage, kTextSize, kMessageFilesNotFound, AppState.unfoundFiles);
    AppState.retryAllowed = 1;
}

}  // namespace

HRESULT RunStartUp(HWND window)
{
    AppState.skinBitmap = LoadBitmapA(AppState.appInstance, MAKEINTRESOURCEA(kSkinBitmapResource));
    CopyText(AppState.totalDoneText, "0");
    CopyText(AppState.remainingText, "00:00:00");
    CopyText(AppState.speedText, "0 KB");
    AppState.allDone = 0;
    AppState.autoRun = 1;
    AppState.engine = nullptr;
    AppState.engineModule = nullptr;
    if (FAILED(ReadDocuments())) {
        // A refused document has said why.
        if (AppState.statusMessage[0] == '\0') CopyText(AppState.statusMessage, kMessageDocumentsUnreadable);
        return E_FAIL;
    }

    HWND reference = GetParent(window);
    if (reference == nullptr) reference = GetDesktopWindow();
    if (strlen(AppState.windowTitle) >= 2) SetWindowTextA(window, AppState.windowTitle);
    CentreWindow(window, reference);
    LayOutWidgets();
    ResolveDownloadFolder();

    const HRESULT rc = StartEngine(reference);
    if (FAILED(rc)) return E_FAIL;
    if (AppState.fileList.Empty()) {
        CopyText(AppState.statusMessage, kMessageNoFiles);
        return rc;
    }
    ReportUnfoundFiles();
    const char* slash = strrchr(AppState.fileList.Head().url, '/');
    if (slash != nullptr && slash[1] != '\0') CopyText(AppState.currentFileName, slash + 1);
    return rc;
}

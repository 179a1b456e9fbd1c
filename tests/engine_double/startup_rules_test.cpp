// The start-up sequence's rules, seen in a real window: layout, folder
// keywords, the engine library and the empty list.
#include <shlobj.h>

#include "state/app_state.h"
#include "app/main_window.h"
#include "common/file_system.h"
#include "config/signed_document.h"
#include "state/messages.h"
#include "contract_engine_pin.h"
#include "window_fixture.h"

using StartUpRules = WindowTest;

namespace {

SIZE SizeOf(const BaseSkin& widget)
{
    int w = -1, h = -1;
    widget.GetSize(&w, &h);
    return {w, h};
}

bool Unplaced(const BaseSkin& widget)
{
    int x = -1, y = -1;
    widget.GetPosition(&x, &y);
    const SIZE size = SizeOf(widget);
    return x == 0 && y == 0 && size.cx == 0 && size.cy == 0;
}

// Under the publisher's key: a document of the pair, refused for one reason.
struct RefusedRow {
    const char* name;
    DocumentRole refused;
    void (*stage)(DocumentSigning&);
    const char* message;
};

void ByteChanged(DocumentSigning& signing) { signing.changedAfter = true; }
void OtherKey(DocumentSigning& signing)
{
    static const TestPublisher other;
    signing.signer = &other;
}
void Unsigned(DocumentSigning& signing) { signing.served = false; }
void Older(DocumentSigning& signing) { signing.version = "4"; }  // 5 was taken before
void Expired(DocumentSigning& signing) { signing.expires = "2020-01-01T00:00:00Z"; }

const RefusedRow kRefusedRows[] = {
    {"settings, one byte changed", DocumentRole::Settings, ByteChanged, kMessageBadSignature},
    {"settings, signed by a key not pinned", DocumentRole::Settings, OtherKey, kMessageBadSignature},
    {"settings, older than taken before", DocumentRole::Settings, Older, kMessageOlderVersion},
    {"settings, expired", DocumentRole::Settings, Expired, kMessageExpired},
    {"file list, one byte changed", DocumentRole::FileList, ByteChanged, kMessageBadSignature},
    {"file list, without its signature", DocumentRole::FileList, Unsigned, kMessageBadSignature},
    {"file list, older than taken before", DocumentRole::FileList, Older, kMessageOlderVersion},
    {"file list, expired", DocumentRole::FileList, Expired, kMessageExpired},
};

void TakeVersionFive(DocumentRole role)
{
    char path[MAX_PATH];
    ASSERT_TRUE(AcceptedVersionPath(role, path));
    ASSERT_TRUE(ReplaceFileWhole(path, "5", 1));
}

}  // namespace

TEST_F(StartUpRules, UnreadableSettingsLeaveWidgetsUnplacedAndTheWindowAtTheTopLeftAndSaySo)
{
    PlaceContractEngine();
    Open();
    const AppStateRecord& s = AppState;
    const BaseSkin* const widgets[] = {&s.backgroundStatic, &s.folderButton,      &s.startButton,
                                       &s.pauseButton,      &s.closeButton,       &s.totalProgress,
                                       &s.checkBoxStatic,   &s.messageIconStatic, &s.closeGreyStatic,
                                       &s.folderGreyStatic, &s.autoRunButton};
    for (const BaseSkin* widget : widgets)
        EXPECT_TRUE(Unplaced(*widget));
    RECT rect;
    GetWindowRect(window_, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    char title[64] = {};
    GetWindowTextA(window_, title, sizeof title);
    EXPECT_STREQ(kMainWindowText, title);
    EXPECT_STREQ(kMessageDocumentsUnreadable, AppState.statusMessage);
    EXPECT_EQ(nullptr, AppState.engineModule);
    EXPECT_EQ(nullptr, GetModuleHandleA(libraryPath_.c_str()));
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());  // the settings document, tried twice
    EXPECT_EQ("/glenmoor/download.xml", requests[1].path);
}

TEST_F(StartUpRules, AppDataInAnyLetterCaseIsTheApplicationDataFolder)
{
    ServeFileList({{"a.bin", 10}});
    for (const char* keyword : {"AppData", "appdata", "APPDATA", "aPpDaTa"}) {
        ResetState();
        ServeSettings(keyword, "Client");
        PlaceContractEngine();
        Open();
        EXPECT_EQ(StartUpCalls(SpecialFolder(CSIDL_APPDATA) + "\\Client"), library_.Calls()) << keyword;
        Close();
    }
}

// A sub-folder that would leave the folder is ignored: the engine gets the
// keyword's folder itself.
TEST_F(StartUpRules, ASubFolderThatWouldLeaveTheFolderIsIgnored)
{
    ServeFileList({{"a.bin", 10}});
    for (const char* mkdir : {"..\\x", "a\\..\\..\\x", "C:\\x", "\\\\host\\x", "con"}) {
        ResetState();
        ServeSettings("AppData", mkdir);
        PlaceContractEngine();
        Open();
        EXPECT_EQ(StartUpCalls(SpecialFolder(CSIDL_APPDATA)), library_.Calls()) << mkdir;
        Close();
    }
}

TEST_F(StartUpRules, SystemDriveWithASubFolderGivesTwoBackslashesAfterTheColon)
{
    ServeSettings("SystemDrive", "Client");
    ServeFileList({{"a.bin", 10}});
    PlaceContractEngine();
    Open();
    const std::string root = SpecialFolder(CSIDL_WINDOWS).substr(0, 3);
    ASSERT_EQ(":\\", root.substr(1));
    EXPECT_EQ(root + "\\Client", AppState.downloadFolder);
    EXPECT_EQ(StartUpCalls(root + "\\Client"), library_.Calls());
}

TEST_F(StartUpRules, ALiteralPathGivesTheDesktop)
{
    ServeSettings("D:\\Games", "");
    ServeFileList({{"a.bin", 10}});
    PlaceContractEngine();
    Open();
    EXPECT_EQ(StartUpCalls(SpecialFolder(CSIDL_DESKTOP)), library_.Calls());
}

TEST_F(StartUpRules, AMissingEngineLibraryAsksForAnotherWay)
{
    ServeSettings("AppData", "Client");
    ServeFileList({{"a.bin", 10}});
    Open();
    EXPECT_STREQ(kMessageUseAnotherWay, AppState.statusMessage);
    EXPECT_EQ(nullptr, AppState.engine);
    EXPECT_EQ(SpecialFolder(CSIDL_APPDATA) + "\\Client", AppState.downloadFolder);
    EXPECT_EQ(libraryPath_, AppState.engineLibraryPath);
    const SIZE start = SizeOf(AppState.startButton);
    EXPECT_EQ(60, start.cx);
    EXPECT_EQ(25, start.cy);
}

TEST_F(StartUpRules, AnEmptyListSaysThereIsNothingToDownload)
{
    ServeSettings("AppData", "");
    ServeFileList({});
    PlaceContractEngine();
    Open();
    EXPECT_STREQ(kMessageNoFiles, AppState.statusMessage);
    EXPECT_EQ(StartUpCalls(SpecialFolder(CSIDL_APPDATA)), library_.Calls());
    ClickStart();
    PumpFor(100);
    EXPECT_EQ(2u, library_.Calls().size());  // the message blocks the start button
    EXPECT_TRUE(library_.Violations().empty());
}

// The count of listed files the server does not have is said, and the rest
// can still be downloaded: the first start clears it.
TEST_F(StartUpRules, ListedFilesTheServerDoesNotHaveAreCounted)
{
    ServeSettings("AppData", "");
    ServeFileList({{"first.bin", 10}, {"gone.bin", -1}, {"also-gone.bin", -1}});
    PlaceContractEngine();
    Open();
    char expected[kTextSize];
    FormatText(expected, sizeof expected, kMessageFilesNotFound, 2);
    EXPECT_STREQ(expected, AppState.statusMessage);
    EXPECT_EQ(10, AppState.totalSize);
    ClickStart();
    PumpFor(100);
    EXPECT_EQ(3u, library_.Calls().size());
    EXPECT_STREQ("", AppState.statusMessage);
}

TEST_F(StartUpRules, ThePlacedWindowIsCentredAndTitledAndNamesTheFirstFile)
{
    ServeSettings("AppData", "Client");
    ServeFileList({{"first.bin", 10}, {"second.bin", 20}});
    PlaceContractEngine();
    Open();
    RECT screen, rect;
    GetWindowRect(GetDesktopWindow(), &screen);
    GetWindowRect(window_, &rect);
    EXPECT_EQ(screen.left + ((screen.right - screen.left) - (rect.right - rect.left)) / 2, rect.left);
    EXPECT_EQ(screen.top + ((screen.bottom - screen.top) - (rect.bottom - rect.top)) / 2, rect.top);
    char title[64] = {};
    GetWindowTextA(window_, title, sizeof title);
    EXPECT_STREQ("Glenmoor Test Client", title);
    EXPECT_STREQ("first.bin", AppState.currentFileName);
    EXPECT_STREQ("", AppState.statusMessage);
    EXPECT_EQ(30, AppState.totalSize);
}

TEST_F(StartUpRules, UnderAKeyASignedPairStartsAsBefore)
{
    PinPublisherKey();
    AppState.engineLibraryPin = CONTRACT_ENGINE_SHA256;  // under a key, only a pinned library is loaded
    ServeSettings("AppData", "");
    ServeFileList({{"a.bin", 10}});
    PlaceContractEngine();
    Open();
    EXPECT_STREQ("", AppState.statusMessage);
    EXPECT_EQ(StartUpCalls(SpecialFolder(CSIDL_APPDATA)), library_.Calls());
    EXPECT_EQ(10, AppState.totalSize);
    EXPECT_EQ(1u, LastAcceptedVersion(DocumentRole::Settings));
    EXPECT_EQ(1u, LastAcceptedVersion(DocumentRole::FileList));
    Close();
    PlaceContractEngine();
    Open();  // the same versions again
    EXPECT_STREQ("", AppState.statusMessage);
    EXPECT_NE(nullptr, AppState.engine);
}

// Refused before anything else happens: the window stays bare with the
// message, and nothing the refused document names is asked for or loaded.
TEST_F(StartUpRules, UnderAKeyARefusedDocumentSaysWhyAndNothingFollows)
{
    for (const RefusedRow& row : kRefusedRows) {
        ResetState();
        PinPublisherKey();
        AppState.engineLibraryPin = CONTRACT_ENGINE_SHA256;
        row.stage(row.refused == DocumentRole::Settings ? settingsSigning : listSigning);
        if (row.stage == Older) TakeVersionFive(row.refused);
        ServeSettings("AppData", "");
        ServeFileList({{"a.bin", 10}});
        PlaceContractEngine();
        const size_t before = server.Requests().size();
        Open();
        EXPECT_STREQ(row.message, AppState.statusMessage) << row.name;
        EXPECT_EQ(nullptr, AppState.engineModule) << row.name;
        EXPECT_TRUE(Unplaced(AppState.startButton)) << row.name;
        EXPECT_TRUE(AppState.fileList.Empty()) << row.name;
        const auto requests = server.Requests();
        for (size_t i = before; i < requests.size(); ++i) {
            EXPECT_NE("HEAD", requests[i].method) << row.name;
            if (row.refused == DocumentRole::Settings) {
                EXPECT_EQ(0u, requests[i].path.find("/glenmoor/download.xml")) << row.name << ": " << requests[i].path;
            }
        }
        Close();
    }
}

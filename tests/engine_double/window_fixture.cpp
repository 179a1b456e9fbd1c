#include "window_fixture.h"

#include <shlobj.h>

#include "state/app_state.h"
#include "app/main_window.h"
#include "common/file_system.h"
#include "common/signature.h"
#include "config/http_fetch.h"
#include "config/signed_document.h"
#include "support/fresh_state.h"
#include "support/host_path.h"

namespace {

// Versions an earlier test took are not this test's.
void ForgetAcceptedVersions()
{
    for (DocumentRole role : {DocumentRole::Settings, DocumentRole::FileList}) {
        char path[MAX_PATH];
        if (AcceptedVersionPath(role, path)) DeleteFileA(path);
    }
}

}  // namespace

void WindowTest::SetUp()
{
    ResetState();
    libraryPath_ = SpecialFolder(CSIDL_PERSONAL) + "\\Glenmoor\\download\\tkwengine.dll";
    DeleteFileA(libraryPath_.c_str());
    RegisterMainWindowClass(AppState.appInstance);
}

void WindowTest::ResetState()
{
    ForgetAcceptedVersions();
    ResetAppState();
    AppState.appInstance = GetModuleHandleA(nullptr);
    AppState.engineLibraryPin = "";
    settingsSigning = listSigning = DocumentSigning();
    CopyText(AppState.settingsUrl, server.Url("/glenmoor/download.xml").c_str());
    // The list served last, which a test may serve once for several starts.
    CopyText(AppState.fileListUrl, (listUrl_.empty() ? server.Url("/downlist.xml") : listUrl_).c_str());
}

void WindowTest::TearDown()
{
    ForgetAcceptedVersions();
    Close();
    UnregisterClassA(kMainWindowClass, AppState.appInstance);
}

const TestPublisher& WindowTest::Publisher()
{
    static const TestPublisher publisher;
    return publisher;
}

void WindowTest::PinPublisherKey() { AppState.publisherKeys = Publisher().KeyLine(); }

void WindowTest::ServeDocument(const std::string& path, const std::string& body, const DocumentSigning& signing)
{
    if (AppState.publisherKeys[0] == '\0') {
        server.Serve(path, HttpReply::Ok(body));
        return;
    }
    std::string document = Fresh(body, signing.version, signing.expires);
    const std::string signature = (signing.signer ? *signing.signer : Publisher()).Signature(document);
    if (signing.changedAfter) document[document.find("version=\"") + 9] ^= 1;
    char signaturePath[kTextSize];
    SignatureLocation(path.c_str(), signaturePath);
    server.Serve(path, HttpReply::Ok(document));
    if (signing.served) server.Serve(signaturePath, HttpReply::Ok(signature));
}

void WindowTest::ServeSettings(const std::string& saveto, const std::string& mkdir, const std::string& extra)
{
    const std::string path = "/glenmoor/download.xml?n=" + std::to_string(++settingsServed_);
    CopyText(AppState.settingsUrl, server.Url(path).c_str());
    ServeDocument(path,
                  "<Download><Title>Glenmoor Test Client</Title>"
                  "<Service id='svc01' encrypt='true' userinfo='true' report='FID'/>"
                  "<Location saveto='" + saveto + "' mkdir='" + mkdir + "'/>"
                  "<Image url='" + server.Url("/glenmoor/none.jpg") + "'/>" + extra +
                      "<Server addr='10.0.0.1'/><Server addr='10.0.0.2:8080'/></Download>",
                  settingsSigning);
}

void WindowTest::ServeFileList(const std::vector<std::pair<std::string, int64_t>>& files)
{
    // A file without a hash would be left out under a key; the engine
    // double does not check it.
    const std::string hash = AppState.publisherKeys[0] != '\0' ? " sha256='" + std::string(64, 'a') + "'" : "";
    std::string list = "<Download>";
    for (const auto& file : files) {
        HttpReply sized = HttpReply::Ok("");
        sized.contentLength = std::to_string(file.second);
        if (file.second >= 0) server.Serve("/files/" + file.first, sized);
        list += "<File url='" + FileUrl(file.first) + "'" + hash + "/>";
    }
    // A path of its own, as the settings': a path's first answer is served for good.
    const std::string path = "/downlist.xml?n=" + std::to_string(++listsServed_);
    listUrl_ = server.Url(path);
    CopyText(AppState.fileListUrl, listUrl_.c_str());
    ServeDocument(path, list + "</Download>", listSigning);
}

void WindowTest::PlaceLibrary(const std::string& source)
{
    CreateParentFolders(libraryPath_.c_str());
    ASSERT_TRUE(CopyFileA(source.c_str(), libraryPath_.c_str(), FALSE)) << libraryPath_;
}

void WindowTest::PlaceContractEngine() { PlaceLibrary(HostPath(CONTRACT_ENGINE_PATH)); }

void WindowTest::Open()
{
    window_ = CreateMainWindow(AppState.appInstance);
    ASSERT_NE(nullptr, window_);
    AppState.mainWindow = window_;
    ShowWindow(window_, SW_SHOWNORMAL);
    char loaded[MAX_PATH] = {};
    if (AppState.engineModule != nullptr && GetModuleFileNameA(AppState.engineModule, loaded, MAX_PATH) != 0)
        library_.Load(loaded);
}

void WindowTest::Close()
{
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = nullptr;
    PumpFor(0);
    if (AppState.backgroundBitmap != nullptr) DeleteObject(AppState.backgroundBitmap);
    if (AppState.skinBitmap != nullptr) DeleteObject(AppState.skinBitmap);
    AppState.backgroundBitmap = AppState.skinBitmap = nullptr;
    library_.Unload();
    DeleteFileA(libraryPath_.c_str());
}

bool WindowTest::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) quitPosted_ = true;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void WindowTest::PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

void WindowTest::Click(int x, int y)
{
    SendMessageA(window_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(window_, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

std::vector<std::string> WindowTest::StartUpCalls(const std::string& folder) const
{
    return {"GetVDInterface service=svc01 servers=10.0.0.1;10.0.0.2:8080 one=1 encrypt=1 report=2 userinfo=1 "
            "reference=desktop",
            "SetDownloadFolder " + folder};
}

std::string WindowTest::SpecialFolder(int csidl)
{
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

// The engine library pin: a library on disk whose SHA-256 differs from the
// pin is fetched anew and never loaded; without a pin any library will do.
// Signed settings may name the library's hash instead of the build.
#include <shlobj.h>

#include <new>

#include "state/app_state.h"
#include "state/messages.h"
#include "config/engine_library.h"
#include "config/http_fetch.h"
#include "support/temp_dir.h"
#include "contract_engine_pin.h"
#include "contract_engine_unverified_pin.h"
#include "support/fresh_state.h"
#include "support/host_path.h"
#include "window_fixture.h"

namespace {

class EnginePin : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ServeSettings("AppData", "");
        ServeFileList({{"a.bin", 10}});
    }
    std::string LibraryUrl() const { return server.Url("/glenmoor/tkwengine.dll"); }
    size_t LibraryRequests() const
    {
        size_t count = 0;
        for (const HttpRequest& request : server.Requests())
            if (request.path == "/glenmoor/tkwengine.dll" && request.Header("user-agent") == "Glenmoor EngineDown")
                ++count;
        return count;
    }
    static std::string HashOf(const std::string& path)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        char hex[kSha256TextSize] = {};
        const bool hashed = file != INVALID_HANDLE_VALUE && HashFileSha256(file, hex);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return hashed ? hex : "<unreadable>";
    }
};

// A pin that no library of these tests has.
const char kOtherPin[] = "5d41402abc4b2a76b9719d911017c592aaf2f3e5a3f1e1b0a6c1d0e5f0e1d2c3";

}  // namespace

TEST_F(EnginePin, HashesWithTheSystemProvider)
{
    PlaceContractEngine();  // makes the folder
    WriteWholeFile(libraryPath_, "abc");
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", HashOf(libraryPath_));
    WriteWholeFile(libraryPath_, "");
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", HashOf(libraryPath_));
    EXPECT_EQ(CONTRACT_ENGINE_SHA256, HashOf(HostPath(CONTRACT_ENGINE_PATH)));
}

TEST_F(EnginePin, TheBuildPinsWhatItWasToldTo)
{
    const std::string setting = ENGINE_PIN_SETTING;
    if (setting == "own") {
        EXPECT_EQ(HashOf(HostPath(TKWENGINE_PATH)), kEngineLibraryPin);
    } else {
        std::string lower = setting;
        for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(lower, kEngineLibraryPin);
    }
    ResetAppState();
    EXPECT_EQ(kEngineLibraryPin, AppState.engineLibraryPin);
}

TEST_F(EnginePin, TheBuildPinsThePublisherKeysItWasToldTo)
{
    const std::string setting = PUBLISHER_KEYS_SETTING;
    std::string own = ReadWholeFile(HostPath(TREE_PUBLISHER_KEY));
    own = own.substr(0, own.find('\n'));
    EXPECT_EQ(setting == "own" ? own : setting, kPublisherKeys);
    AppState.~AppStateRecord();  // the record as the program starts it, not as a test does
    new (&AppState) AppStateRecord();
    EXPECT_EQ(kPublisherKeys, AppState.publisherKeys);
}

namespace {

// Under the publisher's key: what pins the library, and what is loaded.
struct SignedPinRow {
    const char* name;
    bool keyPinned;
    const char* buildPin;
    const char* namedBySettings;  // the Engine element's sha256, or none
    const char* placed;           // the library on disk and on the server
    bool used;
};

const SignedPinRow kSignedPinRows[] = {
    {"signed settings name the library instead of the build", true, kOtherPin, CONTRACT_ENGINE_SHA256,
     CONTRACT_ENGINE_PATH, true},
    {"signed settings name another library", true, CONTRACT_ENGINE_SHA256, kOtherPin, CONTRACT_ENGINE_PATH, false},
    {"under a key, the build's pin alone", true, CONTRACT_ENGINE_SHA256, nullptr, CONTRACT_ENGINE_PATH, true},
    {"under a key, a library nothing pins", true, "", nullptr, CONTRACT_ENGINE_PATH, false},
    {"under a key, a library that does not check hashes", true, "", CONTRACT_ENGINE_UNVERIFIED_SHA256,
     CONTRACT_ENGINE_UNVERIFIED_PATH, false},
    {"unsigned settings choose nothing", false, CONTRACT_ENGINE_SHA256, kOtherPin, CONTRACT_ENGINE_PATH, true},
    {"without a key, a library that does not check hashes", false, CONTRACT_ENGINE_UNVERIFIED_SHA256, nullptr,
     CONTRACT_ENGINE_UNVERIFIED_PATH, true},
};

}  // namespace

TEST_F(EnginePin, SignedSettingsMayNameTheLibraryAndUnderAKeyOnlyAPinnedCheckingOneIsUsed)
{
    for (const SignedPinRow& row : kSignedPinRows) {
        ResetState();
        if (row.keyPinned) PinPublisherKey();
        AppState.engineLibraryPin = row.buildPin;
        ServeSettings("AppData", "",
                      row.namedBySettings ? std::string("<Engine sha256='") + row.namedBySettings + "'/>" : "");
        ServeFileList({{"a.bin", 10}});
        PlaceLibrary(HostPath(row.placed));
        server.Serve("/glenmoor/tkwengine.dll", HttpReply::Ok(ReadWholeFile(HostPath(row.placed))));
        Open();
        EXPECT_EQ(row.used, AppState.engine != nullptr) << row.name;
        EXPECT_STREQ(row.used ? "" : kMessageUseAnotherWay, AppState.statusMessage) << row.name;
        if (!row.used) {
            EXPECT_TRUE(library_.Calls().empty()) << row.name;  // not even asked for its engine
        }
        Close();
    }
}

TEST_F(EnginePin, TheRightLibraryIsKeptAndLoaded)
{
    AppState.engineLibraryPin = CONTRACT_ENGINE_SHA256;
    PlaceContractEngine();
    EnsureEngineLibrary(LibraryUrl().c_str());
    EXPECT_EQ(0u, LibraryRequests());
    Open();
    EXPECT_NE(nullptr, AppState.engine);
    EXPECT_STREQ("", AppState.statusMessage);
    EXPECT_EQ(StartUpCalls(SpecialFolder(CSIDL_APPDATA)), library_.Calls());
}

TEST_F(EnginePin, AWrongLibraryIsFetchedAnewAndThenLoaded)
{
    AppState.engineLibraryPin = CONTRACT_ENGINE_SHA256;
    PlaceContractEngine();  // makes the folder
    WriteWholeFile(libraryPath_, "MZ not the pinned library");
    server.Serve("/glenmoor/tkwengine.dll", HttpReply::Ok(ReadWholeFile(HostPath(CONTRACT_ENGINE_PATH))));
    EnsureEngineLibrary(LibraryUrl().c_str());
    EXPECT_EQ(1u, LibraryRequests());
    EXPECT_EQ(CONTRACT_ENGINE_SHA256, HashOf(libraryPath_));
    HMODULE module = LoadPinnedLibrary(libraryPath_.c_str(), AppState.engineLibraryPin);
    EXPECT_NE(nullptr, module);
    if (module != nullptr) FreeLibrary(module);
}

TEST_F(EnginePin, ALibraryThatStillDiffersIsNeverLoaded)
{
    AppState.engineLibraryPin = kOtherPin;
    PlaceContractEngine();
    server.Serve("/glenmoor/tkwengine.dll", HttpReply::Ok(ReadWholeFile(HostPath(CONTRACT_ENGINE_PATH))));
    EnsureEngineLibrary(LibraryUrl().c_str());
    EXPECT_EQ(1u, LibraryRequests());
    EXPECT_EQ(nullptr, LoadPinnedLibrary(libraryPath_.c_str(), AppState.engineLibraryPin));
    EXPECT_EQ(nullptr, GetModuleHandleA(libraryPath_.c_str()));
}

TEST_F(EnginePin, StartUpRefusesADifferingLibrary)
{
    AppState.engineLibraryPin = kOtherPin;
    PlaceContractEngine();
    Open();
    EXPECT_STREQ(kMessageUseAnotherWay, AppState.statusMessage);
    EXPECT_EQ(nullptr, AppState.engineModule);
    EXPECT_EQ(nullptr, GetModuleHandleA(libraryPath_.c_str()));
}

TEST_F(EnginePin, WithoutAPinAnyLibraryIsKeptAndLoaded)
{
    PlaceContractEngine();
    EnsureEngineLibrary(LibraryUrl().c_str());
    EXPECT_EQ(0u, LibraryRequests());
    Open();
    EXPECT_NE(nullptr, AppState.engine);
    EXPECT_EQ(StartUpCalls(SpecialFolder(CSIDL_APPDATA)), library_.Calls());
}

// The cache is the user's to change at any moment: what is loaded is the copy
// of the bytes that were checked, from a folder of its own, whatever the
// cache or an earlier copy holds by then.
TEST_F(EnginePin, TheLoadedLibraryIsTheCheckedBytesWhateverTheCacheBecomes)
{
    PlaceContractEngine();
    char installed[MAX_PATH];
    ASSERT_TRUE(InstalledLibraryPath(installed));
    for (const char* pin : {CONTRACT_ENGINE_SHA256, ""}) {
        CheckedLibrary checked;
        ASSERT_TRUE(ReadCheckedLibrary(libraryPath_.c_str(), pin, checked));
        PlaceLibrary(HostPath(TKWENGINE_PATH));  // swapped after the check
        WriteWholeFile(installed, "MZ an earlier copy, tampered with");
        HMODULE module = LoadCheckedLibrary(checked, installed);
        ASSERT_NE(nullptr, module) << pin;
        char path[MAX_PATH] = {};
        GetModuleFileNameA(module, path, MAX_PATH);
        EXPECT_EQ(0, lstrcmpiA(installed, path)) << pin;
        EXPECT_NE(nullptr, GetProcAddress(module, "ContractLog")) << pin;  // the contract engine, not ours
        EXPECT_EQ(CONTRACT_ENGINE_SHA256, HashOf(installed)) << pin;
        FreeLibrary(module);
        PlaceContractEngine();
    }
}

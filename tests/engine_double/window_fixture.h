// The program's real main window, created against the scripted server's
// documents, with the contract-checking engine library in the documents
// folder where start-up looks for it. The test thread pumps the messages.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "contract_library.h"
#include "support/http_responder.h"
#include "support/test_publisher.h"

// How a document is signed under a pinned key.
struct DocumentSigning {
    std::string version = "1";
    std::string expires = kFarExpiry;
    const TestPublisher* signer = nullptr;  // null: the pinned key
    bool served = true;                     // the signature file
    bool changedAfter = false;              // one byte of the document changed once signed
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A fresh state record pointed at the scripted server, with no pin and
    // no key, and no document version taken before.
    void ResetState();

    // Pins a key of the test's: the documents served from here on are signed
    // as settingsSigning and listSigning say.
    void PinPublisherKey();
    static const TestPublisher& Publisher();

    // Settings document with the given Location, extra elements and two
    // servers, served at a path of its own that becomes the settings URL.
    void ServeSettings(const std::string& saveto, const std::string& mkdir, const std::string& extra = "");
    // File list of (name, size) under /files/, each sized by its HEAD answer
    // and, under a pinned key, with a hash; served at a path of its own that
    // becomes the file-list URL. A size below 0: the file is listed, but the
    // server does not have it.
    void ServeFileList(const std::vector<std::pair<std::string, int64_t>>& files);
    // A document, with its signature under a pinned key.
    void ServeDocument(const std::string& path, const std::string& body, const DocumentSigning& signing);
    std::string FileUrl(const std::string& name) const { return server.Url("/files/" + name); }

    // Copies a library to where start-up loads the engine from.
    void PlaceLibrary(const std::string& source);
    void PlaceContractEngine();

    // Creates the window (start-up runs inside) and keeps a reference of its
    // own to the engine library, so that its log outlives the program's.
    void Open();
    // Destroys the window, lets go of the library and removes it from disk.
    void Close();

    // Dispatches messages one at a time until done() holds; false on time-out.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
    void PumpFor(DWORD ms);
    void Click(int x, int y);
    void ClickStart() { Click(420, 292); }
    void ClickClose() { Click(490, 292); }

    // The first two calls of every start-up that reaches the engine.
    std::vector<std::string> StartUpCalls(const std::string& folder) const;

    static std::string SpecialFolder(int csidl);

    HttpResponder server;
    HWND window_ = nullptr;
    ContractLibrary library_;
    std::string libraryPath_;
    bool quitPosted_ = false;
    int settingsServed_ = 0;
    int listsServed_ = 0;
    std::string listUrl_;
    DocumentSigning settingsSigning, listSigning;
};

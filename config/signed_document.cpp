#include "config/signed_document.h"

#include <cstring>
#include <string>

#include "common/file_system.h"
#include "common/freshness.h"
#include "common/signature.h"
#include "common/text.h"
#include "common/win_handles.h"
#include "config/engine_library.h"
#include "config/received_document.h"
#include "state/app_state.h"
#include "state/messages.h"
#include "tinyxml.h"

namespace {

// Written only once the document is taken. Start-up goes on when it cannot
// be written: the program then runs without the rights it asks for, and
// the engine library's copy beside it cannot be written either.
void RecordAcceptedVersion(DocumentRole role, uint64_t version)
{
    char path[MAX_PATH];
    const std::string text = std::to_string(version);
    if (AcceptedVersionPath(role, path)) ReplaceFileWhole(path, text.data(), text.size());
}

DocumentVerdict JudgeFreshness(DocumentRole role, const TiXmlDocument& document)
{
    const TiXmlElement* root = document.FirstChildElement("Download");
    if (root == nullptr) return DocumentVerdict::Unreadable;
    const uint64_t version = ReadDocumentVersion(root->Attribute("version"));
    uint64_t expiry = 0;
    const bool kept = AppState.keepsDocumentVersions != 0;
    if (version == 0 || (kept && version < LastAcceptedVersion(role))) return DocumentVerdict::OlderVersion;
    if (!ReadExpiry(root->Attribute("expires"), expiry) || expiry <= CurrentTime()) return DocumentVerdict::Expired;
    if (kept) RecordAcceptedVersion(role, version);
    return DocumentVerdict::Accepted;
}

}  // namespace

bool PublisherKeysPinned() { return AppState.publisherKeys != nullptr && AppState.publisherKeys[0] != '\0'; }

DocumentVerdict JudgeDocument(DocumentRole role, const char* bytes, size_t count, const char* signature,
                              size_t signatureSize, TiXmlDocument& document)
{
    // What is no document says so first, signed or not: a server's error
    // page is unreadable, not badly signed.
    if (!ParseReceivedDocument(document, bytes, count)) return DocumentVerdict::Unreadable;
    if (!PublisherKeysPinned()) return DocumentVerdict::Accepted;
    if (signature == nullptr || !IsSignedByOneOf(AppState.publisherKeys, bytes, count, signature, signatureSize))
        return DocumentVerdict::BadSignature;
    return JudgeFreshness(role, document);
}

const char* VerdictMessage(DocumentVerdict verdict)
{
    switch (verdict) {
    case DocumentVerdict::BadSignature: return kMessageBadSignature;
    case DocumentVerdict::OlderVersion: return kMessageOlderVersion;
    case DocumentVerdict::Expired: return kMessageExpired;
    default: return nullptr;
    }
}

bool AcceptedVersionPath(DocumentRole role, char (&path)[MAX_PATH])
{
    char library[MAX_PATH];
    if (!InstalledLibraryPath(library)) return false;
    char* name = strrchr(library, '\\');
    if (name == nullptr) return false;
    *name = '\0';
    return FormatText(path, sizeof path, "%s\\%s", library,
                      role == DocumentRole::Settings ? "download.xml.version" : "downlist.xml.version");
}

uint64_t LastAcceptedVersion(DocumentRole role)
{
    char path[MAX_PATH], text[32] = {};
    DWORD read = 0;
    if (!AcceptedVersionPath(role, path)) return 0;
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.Valid() || !ReadFile(file.Get(), text, sizeof text - 1, &read, nullptr)) return 0;
    return ReadDocumentVersion(text);
}

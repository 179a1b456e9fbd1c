// The publisher's signature on the two documents. With public keys pinned
// by the build (AppState.publisherKeys), a document is taken only with a
// good signature by one of them over its exact bytes (common/signature.h),
// a version no lower than the last one of its kind this machine took, and
// an expiry still ahead (common/freshness.h). The version taken is kept in
// the folder of the engine library's checked copy, which only
// administrators may write. Without keys, documents are taken as they come.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

class TiXmlDocument;

// Each kind of document keeps a version of its own.
enum class DocumentRole { Settings, FileList };

enum class DocumentVerdict { Accepted, Unreadable, BadSignature, OlderVersion, Expired };

bool PublisherKeysPinned();

// Parses a received document and judges it; signature is its signature
// file's bytes, null when none could be read. With keys pinned, an accepted
// document's version is recorded for role (unless AppState says the
// versions are not kept, as in the publisher's check of a site).
DocumentVerdict JudgeDocument(DocumentRole role, const char* bytes, size_t count, const char* signature,
                              size_t signatureSize, TiXmlDocument& document);

// What start-up shows for a refused document; null for an accepted one and
// for one that could not be read (start-up says that itself).
const char* VerdictMessage(DocumentVerdict verdict);

// Where the last version taken for role is kept.
bool AcceptedVersionPath(DocumentRole role, char (&path)[MAX_PATH]);
// That version, 0 when none was kept (or it cannot be read).
uint64_t LastAcceptedVersion(DocumentRole role);

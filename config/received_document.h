// A document as the server sent it: read whole, with its signature when
// the build pins publisher keys (config/signed_document.h), and parsed as
// TinyXML's own file loader would parse it.
#pragma once
#include <windows.h>

#include <cstddef>

#include "config/signed_document.h"

class TiXmlDocument;

// CR LF and lone CR become LF, then Parse. False when the text does not
// parse to its end; a document nested too deeply to parse safely stays
// empty.
bool ParseReceivedDocument(TiXmlDocument& document, const char* buffer, size_t count);

// Reads url and parses it, with one retry after 50 ms, each attempt with the
// full capacity: a document that cannot be read whole (a read error, fewer
// bytes than its Content-Length) or does not parse to its end is not read.
// With publisher keys pinned, each attempt also reads the signature file,
// at the same time, and the document must be taken as role says; a refused
// one leaves its message in AppState.statusMessage.
HRESULT ReadWholeDocument(const char* url, DocumentRole role, TiXmlDocument& document);

// A document as the server sent it: read whole, and parsed as TinyXML's own
// file loader would parse it.
#pragma once
#include <windows.h>

#include <cstddef>

class TiXmlDocument;

// CR LF and lone CR become LF, then Parse. False when the text does not
// parse to its end; a document nested too deeply to parse safely stays
// empty.
bool ParseReceivedDocument(TiXmlDocument& document, const char* buffer, size_t count);

// Reads url and parses it, with one retry after 50 ms, each attempt with the
// full capacity: a document that cannot be read whole (a read error, fewer
// bytes than its Content-Length) or does not parse to its end is not read.
HRESULT ReadWholeDocument(const char* url, TiXmlDocument& document);

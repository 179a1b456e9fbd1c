// The settings and file-list documents and the file list they build.
#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

class TiXmlDocument;

#include "config/http_fetch.h"

// Starts sizing a file, as StartSizeProbe does; tests pass a fake.
using ProbeStart = std::function<ProbeAnswer(const char* url, const char* userAgent)>;

// Adds pendingEntry's size to totalSize and appends a copy to fileList.
void AddPendingEntry();

// Fills title, service, location, image and server list from a received
// settings document. E_FAIL when it does not parse to its end or has no
// Download element; nothing is changed then.
HRESULT ApplySettingsDocument(const char* buffer, size_t count);
HRESULT ApplySettings(const TiXmlDocument& document);

// Sizes the directly named file (pendingEntry.url) and puts it in the list.
void AddDirectlyNamedFile(const ProbeStart& probe);

// Walks the File elements of a received file-list document into fileList.
// The files are sized several at a time and their answers taken in the
// document's order, so the list is what sizing them one by one gives.
// E_FAIL when it does not parse to its end or has no Download element.
HRESULT ApplyFileListDocument(const char* buffer, size_t count, const ProbeStart& probe);
HRESULT ApplyFileList(const TiXmlDocument& document, const ProbeStart& probe);

// Sizes the directly named file over the network.
void AddDirectlyNamedFile();

// Each reads its document whole (config/received_document.h) and applies it.
HRESULT ReadSettingsDocument();
HRESULT ReadFileListDocument();

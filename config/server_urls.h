// What the program fetches from its built-in download server. The server,
// "http://host[:port]" or "https://host[:port]", comes from the build.
#pragma once

constexpr const char kBuiltInSettingsUrl[] = VEXIL_SERVER_URL "/glenmoor/download.xml";
constexpr const char kBuiltInFileListUrl[] = VEXIL_SERVER_URL "/downlist.xml";
constexpr const char kEngineLibraryUrl[] = VEXIL_SERVER_URL "/glenmoor/tkwengine.dll";

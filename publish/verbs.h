// The verbs of vexil-publish, one function each: they take the words after
// the verb and return the process's exit code (publish/console.h).
#pragma once
#include "publish/arguments.h"

// list SITE_DIR BASE_URL [--blocks] [--run NAME]
int ListSite(const Arguments& arguments);

// check SETTINGS-URL [FILE-LIST-URL]
int CheckSite(const Arguments& arguments);

// keygen KEYFILE
int MakeKey(const Arguments& arguments);

// sign KEYFILE DOCUMENT --version N --expires TIME
int SignDocument(const Arguments& arguments);

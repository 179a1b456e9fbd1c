// vexil-publish: makes, signs and checks a site for Vexil Downloader.
#include <cstring>
#include <string>
#include <vector>

#include "common/system_libraries.h"
#include "publish/console.h"
#include "publish/verbs.h"

namespace {

struct Verb {
    const char* name;
    int (*run)(const Arguments&);
    std::vector<std::string> flags, valued;
    const char* usage;
};

const Verb kVerbs[] = {
    {"list", ListSite, {"--blocks"}, {"--run"}, "list SITE_DIR BASE_URL [--blocks] [--run NAME]"},
    {"check", CheckSite, {}, {}, "check SETTINGS-URL [FILE-LIST-URL]"},
    {"keygen", MakeKey, {}, {}, "keygen KEYFILE"},
    {"sign", SignDocument, {}, {"--version", "--expires"}, "sign KEYFILE DOCUMENT --version N --expires TIME"},
};

int Usage()
{
    Say("usage: vexil-publish VERB ...");
    for (const Verb& verb : kVerbs) Say(std::string("  vexil-publish ") + verb.usage);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    // A publisher may run it from a downloads folder too.
    RestrictLibrarySearch();
    if (argc < 2) return Usage();
    const std::vector<std::string> words(argv + 2, argv + argc);
    for (const Verb& verb : kVerbs) {
        if (std::strcmp(argv[1], verb.name) != 0) continue;
        const Arguments arguments(words, verb.flags, verb.valued);
        const int code = arguments.Usable() ? verb.run(arguments) : kExitUsage;
        if (code == kExitUsage) Say(std::string("usage: vexil-publish ") + verb.usage);
        return code;
    }
    return Usage();
}

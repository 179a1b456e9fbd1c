#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "state/app_state.h"
#include "config/documents.h"
#include "fake_probe.h"
#include "support/fresh_state.h"

namespace {

const char kSettings[] =
    "<?xml version=\"1.0\"?>\r\n<Download><Title>Title text</Title>"
    "<Service id=\"svc\" encrypt=\"true\" userinfo=\"false\" report=\"LIP\"/>"
    "<Location saveto=\"AppData\" mkdir=\"Sub\"/><Image url=\"http://h/i.jpg\"/>"
    "<Server addr=\"1.2.3.4:80\"/><Server addr=\"5.6.7.8:80\"/></Download>\r\n";
const char kFileList[] =
    "<Download><File url=\"http://h/a.exe\" run=\"true\"/><File url=\"http://h:81/b/c.bin\"/>"
    "<File url=\"http://h/d.dat\" run=\"TRUE\"/></Download>";

bool Terminated(const char* text) { return memchr(text, '\0', kTextSize) != nullptr; }

void ExpectFieldsTerminated()
{
    const char* fields[] = {AppState.windowTitle, AppState.serviceId, AppState.serverList,
                            AppState.downloadFolder, AppState.subFolderName, AppState.imageUrl,
                            AppState.runFileName, AppState.pendingEntry.url, AppState.pendingEntry.sizeText};
    for (const char* field : fields) ASSERT_TRUE(Terminated(field));
    FileList copy = AppState.fileList;
    while (!copy.Empty()) {
        ASSERT_TRUE(Terminated(copy.Head().url));
        ASSERT_TRUE(Terminated(copy.Head().sizeText));
        ASSERT_GT(strtoll(copy.Head().sizeText, nullptr, 10), 0);
        copy.RemoveHead();
    }
    ASSERT_GE(AppState.totalSize, 0);
}

std::string Mutate(std::string text, std::mt19937& random)
{
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < edits && !text.empty(); ++i) {
        const size_t at = random() % text.size();
        switch (random() % 4) {
        case 0: text[at] = static_cast<char>(random() & 0xff); break;
        case 1: text.erase(at, 1 + random() % 4); break;
        case 2: text.insert(at, std::string(1 + random() % 700, static_cast<char>(random() & 0xff))); break;
        default: text.insert(at, text.substr(random() % text.size(), random() % 64)); break;
        }
    }
    return text;
}

TEST(DocumentMutation, RandomBytesNeverBreakTheWalks)
{
    std::mt19937 random(20240607);
    auto function = [](const char* url, const char*) -> ProbeAnswer {
        return [length = strlen(url)](char* sizeText) {
            // Sizes of every kind, derived from the URL so results repeat.
            static const char* sizes[] = {"100", "", "-5", "0", "abc", "99999999999999999999", "7"};
            CopyText(sizeText, kTextSize, sizes[length % 7]);
            return length % 11 == 0 ? SizeAnswer::NotMade : length % 13 == 0 ? SizeAnswer::Missing : SizeAnswer::Answered;
        };
    };
    for (int round = 0; round < 3000; ++round) {
        ResetAppState();
        const std::string settings = Mutate(kSettings, random);
        const std::string files = Mutate(kFileList, random);
        ApplySettingsDocument(settings.data(), settings.size());
        ApplyFileListDocument(files.data(), files.size(), function);
        ExpectFieldsTerminated();
        if (HasFatalFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
}

}  // namespace

// Documents a hostile or broken server could send: whatever arrives, the
// walks stay within the record and the list holds only safe, sized files;
// under the publisher's key, only a document signed by it, fresh and never
// older than one taken before, is taken at all.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "state/app_state.h"
#include "config/documents.h"
#include "config/signed_document.h"
#include "fake_probe.h"
#include "support/fresh_state.h"
#include "support/test_publisher.h"
#include "tinyxml.h"

namespace {

// The largest document the retrieval hands over.
constexpr size_t kDocumentCapacity = 65000;

class HostileDocument : public ::testing::Test {
protected:
    void SetUp() override { ResetAppState(); }

    HRESULT Settings(const std::string& text) { return ApplySettingsDocument(text.data(), text.size()); }
    HRESULT Files(const std::string& text) { return ApplyFileListDocument(text.data(), text.size(), probe.Function()); }

    FakeProbe probe;
};

std::string Nested(const std::string& open, const std::string& close, size_t capacity)
{
    std::string text = "<Download>";
    while (text.size() + open.size() + close.size() + 11 <= capacity) text += open;
    while (!close.empty() && text.size() + close.size() + 11 <= capacity) text += close;
    return text + "</Download>";
}

TEST_F(HostileDocument, DeepNestingWithinTheCapacityIsSurvived)
{
    // Unclosed and closed nesting, as deep as 65000 bytes allow.
    for (const std::string& doc :
         {Nested("<a>", "", kDocumentCapacity), Nested("<File url='http://h/x'>", "</File>", kDocumentCapacity),
          Nested("<Title>", "</Title>", kDocumentCapacity)}) {
        ASSERT_LE(doc.size(), kDocumentCapacity);
        Files(doc);
        Settings(doc);
        EXPECT_TRUE(AppState.fileList.Count() <= 1);
        EXPECT_LT(strlen(AppState.windowTitle), kTextSize);
    }
}

TEST_F(HostileDocument, TenThousandFilesAreAllSized)
{
    std::string doc = "<Download>";
    for (int i = 0; i < 10000; ++i) {
        std::string url = "http://h/" + std::to_string(i);
        probe.sizes[url] = "1";
        doc += "<File url='" + url + "'/>";
    }
    Files(doc + "</Download>");
    EXPECT_EQ(10000u, probe.calls.size());
    EXPECT_EQ(10000u, AppState.fileList.Count());
    EXPECT_EQ(10000, AppState.totalSize);
}

TEST_F(HostileDocument, DocumentsWithoutAWholeDownloadElementGiveNothing)
{
    static const char kNulFirst[] = "\0<Download><File url='http://h/a'/></Download>";
    const std::string docs[] = {"", "<", "<Download", "</Download>", "<!-- <Download> -->", "\xEF\xBB\xBF",
                                std::string(kNulFirst, sizeof kNulFirst - 1)};
    probe.sizes["http://h/a"] = "5";
    for (const std::string& doc : docs) {
        ResetAppState();
        Files(doc);
        Settings(doc);
        EXPECT_TRUE(AppState.fileList.Empty()) << doc;
        EXPECT_STREQ("", AppState.serverList) << doc;
    }
}

TEST_F(HostileDocument, TruncatedDocumentsKeepOnlyWholeSafeEntries)
{
    const char* docs[] = {"<Download><File url='http://h/a'", "<Download><File url='http://h/a'/><File url='ht",
                          "<Download url=><File url='http://h/a'/>", "<Download><File url='http://h/a'/><<<>>>"};
    probe.sizes["http://h/a"] = "5";
    for (const char* doc : docs) {
        ResetAppState();
        Files(doc);
        EXPECT_LE(AppState.fileList.Count(), 1u) << doc;
        if (!AppState.fileList.Empty()) {
            EXPECT_STREQ("http://h/a", AppState.fileList.Head().url) << doc;
        }
    }
}

TEST_F(HostileDocument, UrlsAtTheFieldLimit)
{
    for (size_t length : {511u, 512u, 600u}) {
        ResetAppState();
        std::string url = "http://h/" + std::string(length - 15, 'u') + "/u.exe";
        probe.sizes[url] = "3";
        Files("<Download><File url='" + url + "' run='true'/></Download>");
        EXPECT_EQ(length < kTextSize ? 1u : 0u, AppState.fileList.Count()) << length;
        EXPECT_STREQ(length < kTextSize ? "u.exe" : "", AppState.runFileName) << length;
    }
}

TEST_F(HostileDocument, AttributesAtEveryLengthBoundaryStayTerminated)
{
    for (size_t length : {0u, 1u, 2u, 510u, 511u, 512u, 513u, 4000u}) {
        ResetAppState();
        std::string value(length, 'v');
        Settings("<Download><Title>" + value + "</Title><Service id='" + value + "'/><Location saveto='" + value +
                 "' mkdir='" + value + "'/><Image url='" + value + "'/><Server addr='" + value + "'/><Server addr='" +
                 value + "'/></Download>");
        for (const char* field : {AppState.windowTitle, AppState.serviceId, AppState.downloadFolder,
                                  AppState.subFolderName, AppState.imageUrl, AppState.serverList})
            EXPECT_LT(strlen(field), kTextSize) << length;
        // A whole value fits or the field is left empty; only the title is cut.
        EXPECT_EQ(length < kTextSize ? value : "", AppState.serviceId) << length;
        EXPECT_EQ(std::min<size_t>(length, kTextSize - 1), strlen(AppState.windowTitle)) << length;
    }
}

// Every setting after the title is read, whatever the declaration says.
TEST_F(HostileDocument, TitlesInCp949AndUtf8AreKeptAsBytes)
{
    const std::string cp949 = "\xB1\xDB\xB7\xBB\xB9\xAB\xBE\xEE";  // 글렌무어 in CP949
    const std::string utf8 = "\xEA\xB8\x80\xEB\xA0\x8C\xEB\xAC\xB4\xEC\x96\xB4";  // the same in UTF-8
    struct {
        const char* declaration;
        std::string title;
        std::string shown;  // UTF-8 read as CP949 ends in half a character, which is left out
    } const cases[] = {
        {"", cp949, cp949},
        {"<?xml version=\"1.0\"?>", cp949, cp949},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", cp949, cp949},
        {"<?xml version=\"1.0\" encoding=\"euc-kr\"?>", cp949, cp949},
        {"<?xml version=\"1.0\"?>", utf8, utf8.substr(0, utf8.size() - 1)},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", utf8, utf8.substr(0, utf8.size() - 1)},
    };
    for (const auto& c : cases) {
        ResetAppState();
        Settings(std::string(c.declaration) + "\n<Download><Title>" + c.title +
                 "</Title><Location saveto='AppData' mkdir='Client'/><Server addr='m:1'/></Download>");
        EXPECT_EQ(c.shown, AppState.windowTitle) << c.declaration;
        EXPECT_STREQ("Client", AppState.subFolderName) << c.declaration;
        EXPECT_STREQ("m:1", AppState.serverList) << c.declaration;
    }
}

}  // namespace

// Documents under the publisher's key ------------------------------------------
namespace {

const TestPublisher& Publisher()
{
    static const TestPublisher publisher;
    return publisher;
}

const std::string kSignedDocument =
    "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<!-- the demo's -->\n<Download version=\"5\" expires=\"" +
    std::string(kFarExpiry) + "\">\n  <Title>Signed</Title>\n  <Server addr='m:1'/>\n</Download>\n";

void ForgetAcceptedVersions()
{
    for (DocumentRole role : {DocumentRole::Settings, DocumentRole::FileList}) {
        char path[MAX_PATH];
        if (AcceptedVersionPath(role, path)) DeleteFileA(path);
    }
}

// A received pair: the document's bytes and its signature file, if any.
struct Received {
    std::string document;
    std::string signature;
    bool signatureRead = true;
};

// One way a pair may reach the program: document, then what became of it on
// the way, the version this machine took before (0: none), the verdict.
struct TamperedRow {
    const char* name;
    std::string document;
    void (*tamper)(Received&);
    uint64_t takenBefore;
    DocumentVerdict verdict;
};

void AsSigned(Received&) {}
void ByteChanged(Received& r) { r.document[r.document.find("Signed") + 5] ^= 1; }
void ByteAdded(Received& r) { r.document += "\n"; }
void SignatureByteChanged(Received& r) { r.signature[r.signature.size() - 2] ^= 1; }
void NoSignature(Received& r) { r.signatureRead = false; }
void EmptySignature(Received& r) { r.signature.clear(); }
void OtherDocumentsSignature(Received& r) { r.signature = Publisher().Signature(kSignedDocument + " "); }
void OtherKey(Received& r)
{
    static const TestPublisher other;
    r.signature = other.Signature(r.document);
}
void OtherKeysId(Received& r) { r.signature.replace(sizeof kSignatureTag, 16, "0123456789abcdef"); }
void CrLf(Received& r) { r.signature.insert(r.signature.size() - 1, "\r"); }
void NoLineEnd(Received& r) { r.signature.pop_back(); }
void TwoLines(Received& r) { r.signature += r.signature; }
void OtherTag(Received& r) { r.signature[sizeof kSignatureTag - 2] = '2'; }
void Padded(Received& r) { r.signature.insert(0, " "); }
void Oversized(Received& r) { r.signature += std::string(600, ' '); }

std::string WithFreshness(const std::string& version, const std::string& expires)
{
    std::string document = kSignedDocument;
    const size_t tag = document.find("<Download"), end = document.find('>', tag);
    return document.replace(tag, end - tag, "<Download" + version + expires);
}

const std::string kFar = " expires='" + std::string(kFarExpiry) + "'";

const TamperedRow kTamperedRows[] = {
    {"as signed", kSignedDocument, AsSigned, 0, DocumentVerdict::Accepted},
    {"one byte of the document changed", kSignedDocument, ByteChanged, 0, DocumentVerdict::BadSignature},
    {"a byte added to the document", kSignedDocument, ByteAdded, 0, DocumentVerdict::BadSignature},
    {"one byte of the signature changed", kSignedDocument, SignatureByteChanged, 0, DocumentVerdict::BadSignature},
    {"no signature", kSignedDocument, NoSignature, 0, DocumentVerdict::BadSignature},
    {"an empty signature file", kSignedDocument, EmptySignature, 0, DocumentVerdict::BadSignature},
    {"another document's signature", kSignedDocument, OtherDocumentsSignature, 0, DocumentVerdict::BadSignature},
    {"signed by a key not pinned", kSignedDocument, OtherKey, 0, DocumentVerdict::BadSignature},
    {"naming a key not pinned", kSignedDocument, OtherKeysId, 0, DocumentVerdict::BadSignature},
    {"the signature line ends in CR LF", kSignedDocument, CrLf, 0, DocumentVerdict::Accepted},
    {"the signature line without its line end", kSignedDocument, NoLineEnd, 0, DocumentVerdict::Accepted},
    {"the signature line twice", kSignedDocument, TwoLines, 0, DocumentVerdict::BadSignature},
    {"a signature line of another form", kSignedDocument, OtherTag, 0, DocumentVerdict::BadSignature},
    {"a blank before the signature line", kSignedDocument, Padded, 0, DocumentVerdict::BadSignature},
    {"blanks after the signature line", kSignedDocument, Oversized, 0, DocumentVerdict::BadSignature},
    {"lower than a version taken before", kSignedDocument, AsSigned, 6, DocumentVerdict::OlderVersion},
    {"the version taken before", kSignedDocument, AsSigned, 5, DocumentVerdict::Accepted},
    {"higher than a version taken before", kSignedDocument, AsSigned, 4, DocumentVerdict::Accepted},
    {"no version", WithFreshness("", kFar), AsSigned, 0, DocumentVerdict::OlderVersion},
    {"version 0", WithFreshness(" version='0'", kFar), AsSigned, 0, DocumentVerdict::OlderVersion},
    {"a negative version", WithFreshness(" version='-5'", kFar), AsSigned, 0, DocumentVerdict::OlderVersion},
    {"a version with a blank", WithFreshness(" version=' 5'", kFar), AsSigned, 0, DocumentVerdict::OlderVersion},
    {"a version beyond 63 bits", WithFreshness(" version='9223372036854775808'", kFar), AsSigned, 0,
     DocumentVerdict::OlderVersion},
    {"expired", WithFreshness(" version='5'", " expires='2020-01-01T00:00:00Z'"), AsSigned, 0,
     DocumentVerdict::Expired},
    {"no expiry", WithFreshness(" version='5'", ""), AsSigned, 0, DocumentVerdict::Expired},
    {"a day the month lacks", WithFreshness(" version='5'", " expires='2099-02-29T00:00:00Z'"), AsSigned, 0,
     DocumentVerdict::Expired},
    {"a time not in UTC", WithFreshness(" version='5'", " expires='2099-01-01T00:00:00+09:00'"), AsSigned, 0,
     DocumentVerdict::Expired},
    {"a date without its time", WithFreshness(" version='5'", " expires='2099-01-01'"), AsSigned, 0,
     DocumentVerdict::Expired},
    {"signed, but no document", "PK\x03\x04 a zip", AsSigned, 0, DocumentVerdict::Unreadable},
    {"signed, but no Download", "<Other version='5' expires='2099-01-01T00:00:00Z'/>", AsSigned, 0,
     DocumentVerdict::Unreadable},
};

class TamperedDocument : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        ASSERT_TRUE(Publisher().Made());
        AppState.publisherKeys = Publisher().KeyLine();
        ForgetAcceptedVersions();
    }
    void TearDown() override { ForgetAcceptedVersions(); }

    static void Take(DocumentRole role, uint64_t version)
    {
        ForgetAcceptedVersions();
        if (version == 0) return;
        const std::string document = Fresh(kSignedDocument, std::to_string(version));
        ASSERT_EQ(DocumentVerdict::Accepted, Judge(role, {document, Publisher().Signature(document)}));
    }
    static DocumentVerdict Judge(DocumentRole role, const Received& pair)
    {
        TiXmlDocument parsed;
        return JudgeDocument(role, pair.document.data(), pair.document.size(),
                             pair.signatureRead ? pair.signature.data() : nullptr, pair.signature.size(), parsed);
    }
};

}  // namespace

TEST_F(TamperedDocument, EachIsJudgedByItsSignatureVersionAndExpiry)
{
    for (DocumentRole role : {DocumentRole::Settings, DocumentRole::FileList}) {
        for (const TamperedRow& row : kTamperedRows) {
            Take(role, row.takenBefore);
            Received pair{row.document, Publisher().Signature(row.document)};
            row.tamper(pair);
            EXPECT_EQ(row.verdict, Judge(role, pair)) << row.name;
            const uint64_t kept = row.verdict == DocumentVerdict::Accepted ? 5 : row.takenBefore;
            EXPECT_EQ(kept, LastAcceptedVersion(role)) << row.name;
        }
    }
}

TEST_F(TamperedDocument, EachKindOfDocumentKeepsItsOwnVersion)
{
    Take(DocumentRole::FileList, 9);
    const std::string settings = kSignedDocument;
    EXPECT_EQ(DocumentVerdict::Accepted, Judge(DocumentRole::Settings, {settings, Publisher().Signature(settings)}));
    EXPECT_EQ(5u, LastAcceptedVersion(DocumentRole::Settings));
    EXPECT_EQ(9u, LastAcceptedVersion(DocumentRole::FileList));
}

// Two keys pinned while the publisher moves from one to the other.
TEST_F(TamperedDocument, EitherOfTwoPinnedKeysSigns)
{
    static const TestPublisher next;
    const std::string keys = std::string(next.KeyLine()) + ";" + Publisher().KeyLine();
    AppState.publisherKeys = keys.c_str();
    for (const TestPublisher* signer : {&Publisher(), &next})
        EXPECT_EQ(DocumentVerdict::Accepted,
                  Judge(DocumentRole::Settings, {kSignedDocument, signer->Signature(kSignedDocument)}));
}

TEST_F(TamperedDocument, WithoutAKeyEveryDocumentIsTakenAsItComes)
{
    AppState.publisherKeys = "";
    for (const TamperedRow& row : kTamperedRows) {
        if (row.verdict == DocumentVerdict::Unreadable) continue;
        Received pair{row.document, Publisher().Signature(row.document)};
        row.tamper(pair);
        EXPECT_EQ(DocumentVerdict::Accepted, Judge(DocumentRole::Settings, pair)) << row.name;
    }
    EXPECT_EQ(0u, LastAcceptedVersion(DocumentRole::Settings));
}

// What the sign verb writes is what the program reads: the version and the
// expiry set on the Download tag wherever it stands, the rest byte for byte.
TEST_F(TamperedDocument, TheSignVerbsEditIsReadAsItMeantIt)
{
    const struct {
        std::string before, after;
    } edits[] = {
        {"<Download><Title>a</Title></Download>",
         "<Download version=\"7\" expires=\"2099-01-01T00:00:00Z\"><Title>a</Title></Download>"},
        {"\xEF\xBB\xBF<?xml version='1.0'?>\r\n<!-- <Download> -->\r\n<!DOCTYPE x>\r\n<Download\r\n"
         "  version='3' a=\"x>y\"\texpires = \"2020-01-01T00:00:00Z\"/>",
         "\xEF\xBB\xBF<?xml version='1.0'?>\r\n<!-- <Download> -->\r\n<!DOCTYPE x>\r\n<Download\r\n"
         "  version='7' a=\"x>y\"\texpires = \"2099-01-01T00:00:00Z\"/>"},
    };
    for (const auto& edit : edits) {
        const std::string document = Fresh(edit.before, "7");
        EXPECT_EQ(edit.after, document);
        EXPECT_EQ(DocumentVerdict::Accepted, Judge(DocumentRole::FileList, {document, Publisher().Signature(document)}));
        EXPECT_EQ(7u, LastAcceptedVersion(DocumentRole::FileList));
    }
    for (const char* unreadable : {"<Other/><Download/>", "<Download a='1' a='2'/>", "<Download a=1/>", "<Downloads/>"}) {
        std::string document = unreadable, why;
        EXPECT_FALSE(SetDownloadAttributes(document, {{"version", "7"}}, why)) << unreadable;
        EXPECT_EQ(unreadable, document);
    }
}

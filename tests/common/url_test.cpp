#include <gtest/gtest.h>

#include <string>

#include "common/redirect.h"
#include "common/url.h"

namespace {

struct UrlCase {
    std::string url;
    bool ok;
    bool secure = false;
    const char* host = nullptr;
    uint16_t port = 0;
    const char* path = nullptr;
};

TEST(Url, SchemeHostPortAndPath)
{
    const UrlCase cases[] = {
        {"http://h/a.bin", true, false, "h", 80, "/a.bin"},
        {"https://h/a.bin", true, true, "h", 443, "/a.bin"},
        {"HTTP://h:8080/d/a.bin?x=1/2", true, false, "h", 8080, "/d/a.bin?x=1/2"},
        {"https://127.0.0.1:65535/", true, true, "127.0.0.1", 65535, "/"},
        {"http://[::1]:81/a", true, false, "[::1]", 81, "/a"},
        {"http://h", false},
        {"http:///a.bin", false},
        {"ftp://h/a.bin", false},
        {"h/a.bin", false},
        {"http://h:/a.bin", false},
        {"http://h:0/a.bin", false},
        {"http://h:65536/a.bin", false},
        {"http://h:8x/a.bin", false},
        {"http://h h/a.bin", false},
        {"http://h/" + std::string(512 - 9, 'a'), false},
        {"http://h/" + std::string(511 - 9, 'a'), true, false, "h", 80, nullptr},
    };
    for (const UrlCase& c : cases) {
        UrlParts parts;
        ASSERT_EQ(c.ok, ParseUrl(c.url.c_str(), parts)) << c.url;
        if (!c.ok) continue;
        EXPECT_EQ(c.secure, parts.secure) << c.url;
        EXPECT_STREQ(c.host, parts.endpoint.host) << c.url;
        EXPECT_EQ(c.port, parts.endpoint.port) << c.url;
        if (c.path) {
            EXPECT_STREQ(c.path, parts.path) << c.url;
        }
    }
    UrlParts parts;
    EXPECT_FALSE(ParseUrl(nullptr, parts));
}

TEST(Url, EndpointsOfAServerList)
{
    HttpEndpoint endpoint;
    const char text[] = " mirror:8631 ";
    ASSERT_TRUE(ParseEndpoint(text, sizeof text - 1, false, endpoint));
    EXPECT_STREQ("mirror", endpoint.host);
    EXPECT_EQ(8631, endpoint.port);
    ASSERT_TRUE(ParseEndpoint("m", 1, true, endpoint));
    EXPECT_EQ(443, endpoint.port);
    EXPECT_FALSE(ParseEndpoint("m:", 2, false, endpoint));
    EXPECT_FALSE(ParseEndpoint(":80", 3, false, endpoint));
}

TEST(Url, LocalFileNameIsTheLastSegment)
{
    EXPECT_STREQ("a.bin", LocalFileName("http://h/d/a.bin"));
    EXPECT_STREQ("2", LocalFileName("http://h/a.bin?x=1/2"));
    EXPECT_STREQ("", LocalFileName("http://h/d/"));
    EXPECT_STREQ("plain", LocalFileName("plain"));
}

struct RedirectCase {
    const char* from;
    const char* location;
    const char* to;  // nullptr: refused
};

TEST(Url, RedirectsAreResolvedAndNeverDowngraded)
{
    const RedirectCase cases[] = {
        {"http://h/a/b/c.bin", "http://x:81/y", "http://x:81/y"},
        {"http://h/a/b/c.bin", "HTTPS://x/y", "HTTPS://x/y"},
        {"http://h/a/b/c.bin", "//x/y", "http://x/y"},
        {"http://h:81/a/b/c.bin", "/y/z", "http://h:81/y/z"},
        {"http://h/a/b/c.bin?v=1", "z.bin", "http://h/a/b/z.bin"},
        {"http://h/a/b/c.bin", "../z.bin", "http://h/a/z.bin"},
        {"http://h/a/b/c.bin", "../../../z.bin", "http://h/z.bin"},
        {"http://h/a/b/c.bin", "./z.bin?q=1/2", "http://h/a/b/z.bin?q=1/2"},
        {"http://h/a/b/c.bin", "/a/./b/../z/", "http://h/a/z/"},
        {"http://h/a/b/c.bin?v=1", "?v=2", "http://h/a/b/c.bin?v=2"},
        {"http://h/a/b/c.bin", "z.bin#part", "http://h/a/b/z.bin"},
        {"https://h/a/b", "//x/y", "https://x/y"},
        {"https://h/a/b", "/y", "https://h/y"},
        {"https://h/a/b", "https://x/y", "https://x/y"},
        {"https://h/a/b", "http://x/y", nullptr},
        {"https://h/a/b", "HTTP://h/b", nullptr},
        {"http://h/a", "ftp://x/y", nullptr},
        {"http://h/a", "", nullptr},
        {"http://h/a", "#only", nullptr},
        {"http://h/a", "http://x", nullptr},
    };
    for (const RedirectCase& c : cases) {
        char next[kTextSize] = {};
        EXPECT_EQ(c.to != nullptr, ResolveRedirect(c.from, c.location, next)) << c.from << " " << c.location;
        if (c.to) {
            EXPECT_STREQ(c.to, next) << c.from << " " << c.location;
        }
    }
    for (DWORD status : {301u, 302u, 303u, 307u, 308u}) EXPECT_TRUE(IsFollowedRedirect(status)) << status;
    for (DWORD status : {200u, 300u, 304u, 305u, 306u, 404u}) EXPECT_FALSE(IsFollowedRedirect(status)) << status;
}

}  // namespace

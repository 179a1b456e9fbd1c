#include <gtest/gtest.h>

#include <string>

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

}  // namespace

#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "support/http_responder.h"

namespace {

// Fetches a URL with WinINet; returns the status and fills body.
DWORD Fetch(const std::string& url, std::string& body)
{
    HINTERNET internet = InternetOpenA("responder test", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = InternetOpenUrlA(internet, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    DWORD status = 0, size = sizeof status;
    if (request) {
        HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        char chunk[4096];
        DWORD read = 0;
        while (InternetReadFile(request, chunk, sizeof chunk, &read) && read > 0) body.append(chunk, read);
        InternetCloseHandle(request);
    }
    InternetCloseHandle(internet);
    return status;
}

}  // namespace

TEST(HttpResponder, ServesScriptedRepliesAndRecordsRequests)
{
    HttpResponder server;
    server.Serve("/a.xml", HttpReply::Ok("<Download/>"));
    server.Serve("/b", HttpReply::Status(500, "Oops", "for /b"));

    std::string body;
    EXPECT_EQ(200u, Fetch(server.Url("/a.xml"), body));
    EXPECT_EQ("<Download/>", body);
    body.clear();
    EXPECT_EQ(500u, Fetch(server.Url("/b"), body));
    EXPECT_EQ("for /b", body);

    auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/a.xml", requests[0].path);
    EXPECT_EQ("responder test", requests[0].Header("user-agent"));
}

TEST(HttpResponder, CutsTheBodyWhereTold)
{
    HttpResponder server;
    HttpReply reply = HttpReply::Ok(std::string(10000, 'x'));
    reply.closeAfter = 100;
    server.Serve("/cut", reply);
    std::string body;
    Fetch(server.Url("/cut"), body);
    EXPECT_EQ(100u, body.size());
}

TEST(HttpResponder, QueuedAnswersAreUsedInTurn)
{
    HttpResponder server;
    HttpReply first = HttpReply::Status(503, "Busy", "busy");
    first.times = 1;
    server.Serve("/doc", first);
    server.Serve("/doc", HttpReply::Ok("ready"));
    std::string body;
    EXPECT_EQ(503u, Fetch(server.Url("/doc"), body));
    body.clear();
    EXPECT_EQ(200u, Fetch(server.Url("/doc"), body));
    EXPECT_EQ(200u, Fetch(server.Url("/doc"), body));
    EXPECT_EQ(3u, server.Requests().size());
}

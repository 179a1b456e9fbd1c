// Client of the scripted HTTP server (scripted_server.py), which the test
// run starts on the host: tests queue answers by path and read back every
// request the server received. The server answers each request with
// "Connection: close". Its address comes from VEXIL_TEST_SERVER.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct HttpRequest {
    std::string method;
    std::string path;
    std::string version;                         // "HTTP/1.0" or "HTTP/1.1"
    uint16_t port = 0;                           // where it was asked
    uint64_t atMs = 0;                           // when it arrived, on the server's clock
    std::map<std::string, std::string> headers;  // names in lower case
    std::string Header(const std::string& lowerName) const;
};

struct HttpReply {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    std::string contentLength = "auto";  // "auto" (the body's size), "none", or the text to send
    size_t closeAfter = SIZE_MAX;        // body bytes sent before the connection is cut
    DWORD stallMs = 0;                   // wait this long before answering
    DWORD bytesPerSecond = 0;            // pace of the body; 0 = as fast as possible
    bool refuse = false;                 // close the connection without answering
    bool ranges = false;                 // answer "Range: bytes=N-" with 206 (416 past the end)
    bool exactRanges = false;            // and "bytes=N-M" with just those bytes, not the rest from N
    bool severalRanges = false;          // and several in one request with a part each (else the whole body)
    int times = 0;                       // used this many times before the next queued answer; 0 = for good

    static HttpReply Ok(std::string body);
    static HttpReply Status(int status, std::string reason, std::string body = "");
};

class HttpResponder {
public:
    HttpResponder();  // forgets earlier scripts and requests
    HttpResponder(const HttpResponder&) = delete;
    HttpResponder& operator=(const HttpResponder&) = delete;

    std::string Url(const std::string& path) const;  // "http://127.0.0.1:PORT" + path
    uint16_t Port() const { return port_; }
    // The same scripts on another port, as another host would be.
    std::string OtherUrl(const std::string& path) const;
    uint16_t OtherPort() const { return otherPort_; }
    // A new port that takes connections and never answers, not even a TLS
    // handshake; until the next responder.
    uint16_t SilentPort() const;

    // Queues an answer for a path (the query is part of the path; a path
    // without its query matches too). Unscripted paths get 404.
    void Serve(const std::string& path, const HttpReply& reply);
    std::vector<HttpRequest> Requests() const;

private:
    std::string Control(const std::string& target, const std::string& body) const;
    uint16_t port_ = 0;
    uint16_t otherPort_ = 0;
};

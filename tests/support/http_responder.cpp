#include "support/http_responder.h"

#include <wininet.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

std::string Escape(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Lower(std::string text)
{
    for (auto& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string HttpRequest::Header(const std::string& lowerName) const
{
    auto it = headers.find(lowerName);
    return it == headers.end() ? "" : it->second;
}

HttpReply HttpReply::Ok(std::string body)
{
    HttpReply reply;
    reply.body = std::move(body);
    return reply;
}

HttpReply HttpReply::Status(int status, std::string reason, std::string body)
{
    HttpReply reply;
    reply.status = status;
    reply.reason = std::move(reason);
    reply.body = std::move(body);
    return reply;
}

HttpResponder::HttpResponder()
{
    const char* address = getenv("VEXIL_TEST_SERVER");
    if (address == nullptr || strchr(address, ':') == nullptr)
        throw std::runtime_error("VEXIL_TEST_SERVER is not set: run the tests through tools/test.sh");
    port_ = static_cast<uint16_t>(atoi(strchr(address, ':') + 1));
    Control("/__control/reset", "");
    otherPort_ = static_cast<uint16_t>(atoi(Control("/__control/other_port", "").c_str()));
}

std::string HttpResponder::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

uint16_t HttpResponder::SilentPort() const
{
    return static_cast<uint16_t>(atoi(Control("/__control/silent_port", "").c_str()));
}

std::string HttpResponder::OtherUrl(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(otherPort_) + path;
}

void HttpResponder::Serve(const std::string& path, const HttpReply& reply)
{
    std::string target = "/__control/serve?path=" + Escape(path) + "&status=" + std::to_string(reply.status) +
                         "&reason=" + Escape(reply.reason) + "&length=" + Escape(reply.contentLength) +
                         "&stall_ms=" + std::to_string(reply.stallMs) + "&refuse=" + (reply.refuse ? "1" : "0") +
                         "&ranges=" + (reply.severalRanges ? "multi" : reply.exactRanges ? "exact" : reply.ranges ? "1" : "0") + "&times=" + std::to_string(reply.times) +
                         "&rate=" + std::to_string(reply.bytesPerSecond);
    if (reply.closeAfter != SIZE_MAX) target += "&close_after=" + std::to_string(reply.closeAfter);
    for (const auto& header : reply.headers) target += "&header=" + Escape(header);
    Control(target, reply.body);
}

std::vector<HttpRequest> HttpResponder::Requests() const
{
    std::vector<HttpRequest> requests;
    std::istringstream lines(Control("/__control/requests", ""));
    std::string line;
    while (std::getline(lines, line)) {
        HttpRequest request;
        std::istringstream first(line);
        first >> request.method >> request.path >> request.version >> request.port >> request.atMs;
        while (std::getline(lines, line) && !line.empty()) {
            size_t colon = line.find(": ");
            if (colon != std::string::npos) request.headers[Lower(line.substr(0, colon))] = line.substr(colon + 2);
        }
        requests.push_back(request);
    }
    return requests;
}

std::string HttpResponder::Control(const std::string& target, const std::string& body) const
{
    std::string answer;
    HINTERNET internet = InternetOpenA("test control", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectA(internet, "127.0.0.1", port_, nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestA(connection, "POST", target.c_str(), "HTTP/1.1", nullptr, nullptr,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    bool sent = request && HttpSendRequestA(request, nullptr, 0, const_cast<char*>(body.data()),
                                            static_cast<DWORD>(body.size()));
    char chunk[4096];
    DWORD read = 0;
    while (sent && InternetReadFile(request, chunk, sizeof chunk, &read) && read > 0) answer.append(chunk, read);
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    if (!sent) throw std::runtime_error("the scripted server did not answer " + target);
    return answer;
}

#include "http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace tavrel_test {
namespace {

int Listen(int* port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

bool SendAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

std::string Response(int status, const std::string& body)
{
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

HttpTestServer::HttpTestServer()
{
    // Requests to the server must never be sent through a proxy.
    setenv("NO_PROXY", "*", 1);
    setenv("no_proxy", "*", 1);
    listener_ = Listen(&port_);
    if (listener_ >= 0) thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (std::thread& t : workers_) t.join();
    if (listener_ >= 0) close(listener_);
}

std::string HttpTestServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<ReceivedRequest> HttpTestServer::Requests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

int HttpTestServer::ClosedPort()
{
    int port = 0;
    const int fd = Listen(&port);
    if (fd >= 0) close(fd);
    return port;
}

void HttpTestServer::Serve()
{
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        workers_.emplace_back([this, fd] {
            Handle(fd);
            close(fd);
        });
    }
}

void HttpTestServer::Handle(int fd)
{
    std::string in;
    char buf[65536];
    size_t headerEnd;
    auto readMore = [&]() {
        pollfd p{fd, POLLIN, 0};
        while (!stop_) {
            if (poll(&p, 1, 20) > 0) {
                const ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0) return false;
                in.append(buf, size_t(n));
                return true;
            }
        }
        return false;
    };
    while ((headerEnd = in.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore()) return;
    }
    ReceivedRequest req;
    size_t lineEnd = in.find("\r\n");
    const std::string requestLine = in.substr(0, lineEnd);
    const size_t sp1 = requestLine.find(' ');
    const size_t sp2 = requestLine.find(' ', sp1 + 1);
    req.method = requestLine.substr(0, sp1);
    req.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t contentLength = 0;
    for (size_t pos = lineEnd + 2; pos < headerEnd;) {
        const size_t end = in.find("\r\n", pos);
        const std::string line = in.substr(pos, end - pos);
        const size_t colon = line.find(':');
        std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        while (!value.empty() && value[0] == ' ') value.erase(0, 1);
        req.headers.emplace_back(line.substr(0, colon), value);
        if (strcasecmp(req.headers.back().first.c_str(), "Content-Length") == 0)
            contentLength = std::strtoul(value.c_str(), nullptr, 10);
        pos = end + 2;
    }
    while (in.size() - (headerEnd + 4) < contentLength) {
        if (!readMore()) return;
    }
    req.body = in.substr(headerEnd + 4, contentLength);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(req);
    }

    const std::string& t = req.target;
    if (t.rfind("/bytes/", 0) == 0) {
        const size_t n = std::strtoul(t.c_str() + 7, nullptr, 10);
        std::string body(n, '\0');
        for (size_t i = 0; i < n; ++i) body[i] = char(PatternByte(i));
        SendAll(fd, Response(200, body));
    } else if (t.rfind("/status/", 0) == 0) {
        const int status = std::atoi(t.c_str() + 8);
        SendAll(fd, Response(status, "status " + std::to_string(status)));
    } else if (t == "/echo") {
        SendAll(fd, Response(200, req.body));
    } else if (t == "/empty") {
        SendAll(fd, Response(200, ""));
    } else if (t == "/stall") {
        while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } else if (t == "/slow") {
        if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\nConnection: close\r\n\r\n")) return;
        const std::string chunk(1000, 's');
        for (int i = 0; i < 1000 && !stop_; ++i) {
            if (!SendAll(fd, chunk)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } else {
        SendAll(fd, Response(200, "hello"));
    }
}

}  // namespace tavrel_test

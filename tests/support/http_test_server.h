#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for the request tests, run on its own
// thread for the life of the object. Routes:
//   /bytes/N      200 with N bytes, byte i being (i * 7 + i / 251) & 0xFF
//   /status/N     status N with the body "status N"
//   /echo         200 with the request's body
//   /empty        200 with no body
//   /stall        reads the request and never answers
//   /slow         announces 1000000 bytes and sends 1000 every 20 ms
//   anything else 200 "hello"
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tavrel_test {

struct ReceivedRequest {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
    std::string body;
};

class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool ok() const { return listener_ >= 0; }
    int port() const { return port_; }
    std::string Url(const std::string& path) const;
    std::vector<ReceivedRequest> Requests();

    // The byte at offset i of /bytes/N.
    static unsigned char PatternByte(size_t i) { return static_cast<unsigned char>((i * 7 + i / 251) & 0xFF); }
    // A 127.0.0.1 port that nothing listens on.
    static int ClosedPort();

private:
    void Serve();
    void Handle(int fd);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<ReceivedRequest> requests_;
    std::vector<std::thread> workers_;
};

}  // namespace tavrel_test

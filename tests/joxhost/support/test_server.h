// A server on 127.0.0.1 for tests, on a thread of its own: it accepts
// connections one after another and runs a script on each.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace joxhost::test {

class ServerConnection {
public:
    ServerConnection(int fd, SSL_CTX* tls) : fd_(fd), tls_(tls) {}
    ~ServerConnection();

    // Empty at the end of the stream.
    std::string readSome();
    // Reads until the text has been seen; false if the stream ended first.
    bool readUntil(const std::string& text);
    bool write(const std::string& bytes);
    // Starts TLS as the server (STARTTLS, or TLS from the first byte).
    bool startTls();
    // Reads to the end of the stream; the byte count.
    size_t drain();

private:
    int fd_;
    SSL_CTX* tls_;
    SSL* ssl_ = nullptr;
    std::string pending_;
};

class TestServer {
public:
    using Script = std::function<void(ServerConnection&)>;

    // certFile/keyFile empty: no TLS offered.
    TestServer(Script script, const std::filesystem::path& certFile = {}, const std::filesystem::path& keyFile = {});
    ~TestServer();

    int port() const { return port_; }
    int accepted() const { return accepted_; }
    // Blocks until count scripts have run to their end.
    void waitForScripts(int count);

private:
    void serve();

    Script script_;
    SSL_CTX* tls_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<int> current_{-1};
    std::mutex mutex_;
    std::condition_variable finished_;
    int finishedCount_ = 0;
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens.
int closedPort();

}  // namespace joxhost::test

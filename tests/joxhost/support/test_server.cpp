#include "test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <stdexcept>
#include <utility>

namespace joxhost::test {
namespace {

int listenOnLoopback(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

ServerConnection::~ServerConnection() {
    if (ssl_) {
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
    }
    ::close(fd_);
}

std::string ServerConnection::readSome() {
    if (!pending_.empty()) return std::exchange(pending_, {});
    char buffer[65536];
    const int n = ssl_ ? SSL_read(ssl_, buffer, sizeof buffer)
                       : static_cast<int>(::recv(fd_, buffer, sizeof buffer, 0));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool ServerConnection::readUntil(const std::string& text) {
    std::string seen;
    while (seen.find(text) == std::string::npos) {
        const std::string more = readSome();
        if (more.empty()) return false;
        seen += more;
    }
    pending_ = seen.substr(seen.find(text) + text.size());
    return true;
}

bool ServerConnection::write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const int n = ssl_ ? SSL_write(ssl_, bytes.data() + done, static_cast<int>(bytes.size() - done))
                           : static_cast<int>(::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ServerConnection::startTls() {
    if (!tls_) return false;
    ssl_ = SSL_new(tls_);
    SSL_set_fd(ssl_, fd_);
    return SSL_accept(ssl_) == 1;
}

size_t ServerConnection::drain() {
    size_t total = pending_.size();
    pending_.clear();
    for (;;) {
        const std::string more = readSome();
        if (more.empty()) return total;
        total += more.size();
    }
}

TestServer::TestServer(Script script, const std::filesystem::path& certFile, const std::filesystem::path& keyFile)
    : script_(std::move(script)) {
    // OpenSSL writes to the socket with plain write(): a client that went
    // away must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    if (!certFile.empty()) {
        tls_ = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_chain_file(tls_, certFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(tls_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
            throw std::runtime_error("cannot load the test server certificate");
        }
    }
    listener_ = listenOnLoopback(&port_);
    thread_ = std::thread([this] { serve(); });
}

TestServer::~TestServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // wakes accept
    const int current = current_.load();
    if (current >= 0) ::shutdown(current, SHUT_RDWR);  // wakes a blocked script
    thread_.join();
    ::close(listener_);
    SSL_CTX_free(tls_);
}

void TestServer::serve() {
    while (!stopping_) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        ++accepted_;
        current_ = fd;
        if (stopping_) {
            ::close(fd);
            return;
        }
        {
            ServerConnection connection(fd, tls_);
            script_(connection);
            current_ = -1;
        }
        {
            std::lock_guard lock(mutex_);
            ++finishedCount_;
        }
        finished_.notify_all();
    }
}

void TestServer::waitForScripts(int count) {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return finishedCount_ >= count; });
}

int closedPort() {
    int port = 0;
    const int fd = listenOnLoopback(&port);
    ::close(fd);
    return port;
}

}  // namespace joxhost::test

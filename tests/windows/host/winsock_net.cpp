#include "winsock_net.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <climits>

namespace postrix::winhost {

namespace {

// 127.0.0.1 for "localhost" and numbers; the host never leaves the machine.
bool resolveLoopback(const std::string& host, int port, sockaddr_in& address, int& error) {
    // An empty name would stand for this computer's own addresses.
    if (host.empty()) {
        error = WSAHOST_NOT_FOUND;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        error = WSAHOST_NOT_FOUND;
        return false;
    }
    address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    if ((ntohl(address.sin_addr.s_addr) >> 24) != 127) {
        error = WSAENETUNREACH;
        return false;
    }
    return true;
}

int socketError(SOCKET socket) {
    int code = 0;
    int length = sizeof code;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length) != 0)
        return WSAGetLastError();
    return code;
}

timeval timeOf(int milliseconds) {
    timeval t{};
    t.tv_sec = milliseconds / 1000;
    t.tv_usec = (milliseconds % 1000) * 1000;
    return t;
}

}  // namespace

WinsockNet::WinsockNet(test::FakeHost& host, NetReport report) : host_(host), report_(std::move(report)) {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockNet::~WinsockNet() {
    for (auto& [connection, link] : links_) closesocket(link.socket);
    links_.clear();
    if (started_) WSACleanup();
}

int64_t WinsockNet::connect(test::FakeConnection& c) {
    drop(c);  // a second connect on an open connection starts afresh
    report_(c, "connect", 0);
    sockaddr_in address{};
    int error = 0;
    if (!resolveLoopback(c.host, c.port, address, error)) {
        fail(c, error);
        return 0;
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        error = WSAGetLastError();
        closesocket(s);
        fail(c, error);
        return 0;
    }
    // Connected or not, the loop reports it once the socket is writable.
    links_[&c] = Link{s, false};
    return 0;
}

int64_t WinsockNet::send(test::FakeConnection& c, std::string_view bytes) {
    const auto found = links_.find(&c);
    if (found == links_.end() || !found->second.connected) return -1;
    const SOCKET s = found->second.socket;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendTimeLimitMs);
    size_t written = 0;
    while (written < bytes.size()) {
        const int piece = static_cast<int>(std::min<size_t>(bytes.size() - written, INT_MAX));
        const int n = ::send(s, bytes.data() + written, piece, 0);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            report_(c, "send-failed", error);
            return -1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            report_(c, "send-failed", WSAETIMEDOUT);
            return -1;
        }
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval wait = timeOf(static_cast<int>(left.count()));
        select(0, nullptr, &writable, nullptr, &wait);
    }
    return static_cast<int64_t>(bytes.size());
}

int64_t WinsockNet::startTls(test::FakeConnection& c) {
    report_(c, "tls", 0);
    return 1;
}

void WinsockNet::close(test::FakeConnection& c) {
    if (links_.count(&c)) report_(c, "close", 0);
    drop(c);
}

void WinsockNet::drop(test::FakeConnection& c) {
    if (auto found = links_.find(&c); found != links_.end()) {
        closesocket(found->second.socket);
        links_.erase(found);
    }
    std::erase_if(failures_, [&c](const Failure& failure) { return failure.connection == &c; });
}

void WinsockNet::fail(test::FakeConnection& c, int code) { failures_.push_back({&c, code}); }

bool WinsockNet::deliverFailure() {
    const Failure failure = failures_.front();
    failures_.pop_front();
    if (failure.connection->destroyed) return true;
    report_(*failure.connection, "error", failure.code);
    host_.deliverError(*failure.connection, failure.code);
    return true;
}

bool WinsockNet::deliverNext(int timeoutMs) {
    if (!failures_.empty()) return deliverFailure();
    if (links_.empty()) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return false;
    }
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    for (const auto& [connection, link] : links_) {
        if (link.connected) {
            FD_SET(link.socket, &readable);
        } else {
            FD_SET(link.socket, &writable);
            FD_SET(link.socket, &failed);  // where Winsock reports a refused connect
        }
    }
    timeval wait = timeOf(timeoutMs);
    if (select(0, &readable, &writable, &failed, &wait) <= 0) return false;

    for (auto& [connection, link] : links_) {
        test::FakeConnection& c = *connection;
        const SOCKET s = link.socket;
        if (!link.connected && FD_ISSET(s, &writable)) {
            link.connected = true;
            report_(c, "connected", 0);
            host_.deliverConnected(c);
            return true;
        }
        if (!link.connected && FD_ISSET(s, &failed)) {
            const int code = socketError(s);
            drop(c);
            report_(c, "error", code);
            host_.deliverError(c, code);
            return true;
        }
        if (link.connected && FD_ISSET(s, &readable)) {
            char buffer[64 * 1024];
            const int n = recv(s, buffer, sizeof buffer, 0);
            if (n > 0) {
                host_.deliverData(c, std::string_view(buffer, static_cast<size_t>(n)));
            } else if (n == 0) {
                drop(c);
                report_(c, "closed", 0);
                host_.deliverClosed(c);
            } else {
                const int code = WSAGetLastError();
                if (code == WSAEWOULDBLOCK) return false;
                drop(c);
                report_(c, "error", code);
                host_.deliverError(c, code);
            }
            return true;
        }
    }
    return false;
}

}  // namespace postrix::winhost

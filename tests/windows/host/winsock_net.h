// The test host's network: plain TCP over Winsock under FakeHost's NetLib.
// Connections reach 127.0.0.0/8 only; TLS is the Linux host's job, so a TLS
// start is refused. Events wait until the host's loop asks for the next one
// and are delivered one at a time, like FakeHost::deliver*.
#pragma once

#include <winsock2.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "support/fake_host.h"

namespace postrix::winhost {

// What the network did to a connection, for the host's output: "connect",
// "connected", "closed", "error" (code is the Winsock error), "close" (the
// plug-in closed it), "tls" (refused), "send-failed" (code as for error).
using NetReport = std::function<void(const test::FakeConnection&, std::string_view what, int code)>;

class WinsockNet : public test::NetBackend {
public:
    WinsockNet(test::FakeHost& host, NetReport report);
    ~WinsockNet() override;
    WinsockNet(const WinsockNet&) = delete;
    WinsockNet& operator=(const WinsockNet&) = delete;

    // False when Winsock could not start.
    bool ready() const { return started_; }

    int64_t connect(test::FakeConnection& c) override;
    int64_t send(test::FakeConnection& c, std::string_view bytes) override;
    int64_t startTls(test::FakeConnection& c) override;
    void close(test::FakeConnection& c) override;

    // Waits up to timeoutMs for something to happen on a connection and
    // delivers that one event to the plug-in. False when nothing happened.
    bool deliverNext(int timeoutMs);
    // Whether any connection is open or being opened.
    bool busy() const { return !links_.empty() || !failures_.empty(); }

    // How long one send may wait for the peer to take the bytes.
    static constexpr int kSendTimeLimitMs = 60000;

private:
    struct Link {
        SOCKET socket = INVALID_SOCKET;
        bool connected = false;
    };
    // A connection that failed before it had a socket; its error event is
    // delivered by the loop, never from inside the plug-in's call.
    struct Failure {
        test::FakeConnection* connection;
        int code;
    };

    void drop(test::FakeConnection& c);
    void fail(test::FakeConnection& c, int code);
    bool deliverFailure();

    test::FakeHost& host_;
    NetReport report_;
    bool started_ = false;
    std::map<test::FakeConnection*, Link> links_;
    std::deque<Failure> failures_;
};

}  // namespace postrix::winhost

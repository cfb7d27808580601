// The Windows test host's parts. WinsockNet against a listener of its own on
// 127.0.0.1: the events a plug-in gets, in order, one per call of the loop;
// refused, unresolvable and off-machine connections; a send that blocks
// until the peer took it all; nothing after the plug-in closed a
// connection. HostLoop's timers and the JSON lines of the output. Prints
// each failed check and exits non-zero.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "abi/records_netlib.h"
#include "abi/records_plugin.h"
#include "host_loop.h"
#include "support/fake_host.h"
#include "winsock_net.h"

namespace postrix::winhost {
namespace {

int g_failures = 0;

#define CHECK(condition)                                                      \
    do {                                                                      \
        if (!(condition)) {                                                   \
            std::printf("%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
            ++g_failures;                                                     \
        }                                                                     \
    } while (0)

// What the plug-in side saw: "connected", "data:<bytes>", "closed", "error:<code>".
std::vector<std::string> g_events;

int64_t onEvent(uintptr_t w, uintptr_t l, uintptr_t) {
    const auto* event = reinterpret_cast<const NetEventRecord*>(w);
    switch (event->code) {
    case kNetConnected: g_events.push_back("connected"); break;
    case kNetClosed: g_events.push_back("closed"); break;
    case kNetData: {
        const auto* data = reinterpret_cast<const NetDataEvent*>(l);
        g_events.push_back("data:" + std::string(data->bytes, static_cast<size_t>(data->count)));
        break;
    }
    case kNetError: g_events.push_back("error:" + std::to_string(static_cast<int32_t>(l))); break;
    default: g_events.push_back("other");
    }
    return 0;
}

// A listening socket on 127.0.0.1 and an ephemeral port.
class Listener {
public:
    Listener() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(socket_, 4);
    }
    ~Listener() { closesocket(socket_); }
    int port() const { return port_; }
    SOCKET accept() const { return ::accept(socket_, nullptr, nullptr); }

private:
    SOCKET socket_;
    int port_ = 0;
};

class Plugin {
public:
    explicit Plugin(test::FakeHost& host) : host_(host) {
        NetCreateRecord record{};
        record.size = sizeof record;
        record.kind = 2;
        record.handler = onEvent;
        record.connection = &object_;
        call(u"NetLib/Create", &record);
    }
    int64_t connect(const char16_t* host, int port) {
        NetConnectRecord record{};
        record.size = sizeof record;
        record.connection = &object_;
        record.host = host;
        record.port = port;
        record.flags = 1;
        return call(u"NetLib/Connect", &record);
    }
    int64_t send(const std::string& bytes) {
        NetSendRecord record{};
        record.size = sizeof record;
        record.bytes = bytes.data();
        record.count = static_cast<int32_t>(bytes.size());
        record.connection = &object_;
        return call(u"NetLib/Send", &record);
    }
    int64_t startTls() { return call(u"NetLib/InitSSL", &object_, kInitSslFlags); }
    void close() { call(u"NetLib/Close", &object_); }

private:
    int64_t call(const char16_t* name, const void* w, uintptr_t l = 0) {
        return host_.table()->callService(name, reinterpret_cast<uintptr_t>(w), l);
    }
    test::FakeHost& host_;
    NetConnection object_{u"MAIL/Socket/TEST/1"};
};

struct Fixture {
    test::FakeHost host;
    std::vector<std::string> reports;
    WinsockNet net{host, [this](const test::FakeConnection&, std::string_view what, int code) {
                       reports.push_back(std::string(what) + (code ? ":" + std::to_string(code) : ""));
                   }};
    Plugin plugin{host};
    Fixture() {
        host.netBackend = &net;
        g_events.clear();
    }
    ~Fixture() { host.netBackend = nullptr; }
    // The loop's next event, waiting up to 5 s for it.
    bool next() { return net.deliverNext(5000); }
};

std::string receiveAll(SOCKET s, size_t count) {
    std::string got;
    char buffer[8192];
    while (got.size() < count) {
        const int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

void aDialogueComesAsOneEventPerLoopStep() {
    Fixture f;
    Listener listener;
    CHECK(f.plugin.connect(u"localhost", listener.port()) == 0);
    CHECK(g_events.empty());  // nothing from inside the plug-in's own call
    const SOCKET server = listener.accept();
    CHECK(f.next());
    CHECK(g_events == std::vector<std::string>{"connected"});

    ::send(server, "220 hi\r\n", 8, 0);
    CHECK(f.next());
    CHECK(g_events.back() == "data:220 hi\r\n");
    CHECK(f.plugin.send("EHLO x\r\n") == 8);
    CHECK(receiveAll(server, 8) == "EHLO x\r\n");

    closesocket(server);
    CHECK(f.next());
    CHECK(g_events.back() == "closed");
    CHECK(!f.net.busy());
    CHECK(!f.net.deliverNext(50));
    CHECK(f.reports == (std::vector<std::string>{"connect", "connected", "closed"}));
    CHECK(f.plugin.send("late") == -1);
}

void failedConnectionsReportTheirWinsockCode() {
    int closedPort;
    {
        Listener gone;
        closedPort = gone.port();
    }
    struct Case {
        const char16_t* host;
        int port;
        std::string event;
    };
    for (const Case& c : {Case{u"127.0.0.1", closedPort, "error:10061"},
                          Case{u"10.20.30.40", 25, "error:10051"},  // off the machine: never tried
                          Case{u"", 25, "error:11001"}}) {
        Fixture f;
        CHECK(f.plugin.connect(c.host, c.port) == 0);
        CHECK(g_events.empty());
        CHECK(f.next());
        CHECK(g_events == std::vector<std::string>{c.event});
        CHECK(!f.net.busy());
    }
}

void aLargeSendReturnsOnceThePeerHasItAll() {
    Fixture f;
    Listener listener;
    f.plugin.connect(u"127.0.0.1", listener.port());
    const SOCKET server = listener.accept();
    f.next();
    const std::string big(8 * 1024 * 1024, 'm');
    std::string received;
    std::thread reader([&] { received = receiveAll(server, big.size()); });
    CHECK(f.plugin.send(big) == static_cast<int64_t>(big.size()));
    reader.join();
    CHECK(received == big);
    closesocket(server);
}

void tlsIsRefusedAndAClosedConnectionStaysSilent() {
    Fixture f;
    Listener listener;
    f.plugin.connect(u"127.0.0.1", listener.port());
    const SOCKET server = listener.accept();
    f.next();
    CHECK(f.plugin.startTls() != 0);
    f.plugin.close();
    ::send(server, "+OK\r\n", 5, 0);
    closesocket(server);
    CHECK(!f.net.deliverNext(200));
    CHECK(g_events == std::vector<std::string>{"connected"});
    CHECK(f.reports == (std::vector<std::string>{"connect", "connected", "tls", "close"}));
}

// Timer events the plug-in side got: the timer's id and the event code.
std::vector<std::string> g_ticks;

int64_t onTimer(uintptr_t w, uintptr_t, uintptr_t) {
    const auto* event = reinterpret_cast<const TimerEventRecord*>(w);
    g_ticks.push_back(test::utf8(event->timerId) + ":" + std::to_string(event->code));
    return 0;
}

void createTimer(test::FakeHost& host, const char16_t* id, int32_t intervalMs) {
    TimerRecord record{};
    record.size = sizeof record;
    record.timerId = id;
    record.intervalMs = intervalMs;
    record.handler = onTimer;
    host.table()->callService(u"JOX/Timer/Create", reinterpret_cast<uintptr_t>(&record), 0);
}

size_t ticksOf(const std::string& id) {
    return static_cast<size_t>(std::count(g_ticks.begin(), g_ticks.end(), id + ":3"));
}

void timersFireAtTheirIntervalsUntilDestroyed() {
    Fixture f;
    HostLoop loop(f.host, f.net);
    g_ticks.clear();
    createTimer(f.host, u"fast", 50);
    createTimer(f.host, u"slow", 10000);
    const auto started = std::chrono::steady_clock::now();
    CHECK(loop.runUntil([] { return ticksOf("fast") >= 4; }, std::chrono::seconds(5)));
    const auto took = std::chrono::steady_clock::now() - started;
    CHECK(took >= std::chrono::milliseconds(190));  // four periods, not four at once
    CHECK(ticksOf("slow") == 0);

    f.host.table()->callService(u"JOX/Timer/Destroy", reinterpret_cast<uintptr_t>(u"fast"), 0);
    const size_t before = g_ticks.size();
    CHECK(!loop.runUntil([] { return false; }, std::chrono::milliseconds(300)));  // a time-out says so
    CHECK(g_ticks.size() == before);
}

void outputLinesAreJsonWithJoxhostsFields() {
    CHECK(jsonQuoted("a\"b\\c\r\n\x01ą") == "\"a\\\"b\\\\c\\r\\n\\u0001ą\"");
    CHECK(JsonLine("net").text("what", "error").number("code", -5).flag("ok", false).str() ==
          R"({"event":"net","what":"error","code":-5,"ok":false})");
}

}  // namespace
}  // namespace postrix::winhost

int main() {
    using namespace postrix::winhost;
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);  // for the test's own listeners
    aDialogueComesAsOneEventPerLoopStep();
    failedConnectionsReportTheirWinsockCode();
    aLargeSendReturnsOnceThePeerHasItAll();
    tlsIsRefusedAndAClosedConnectionStaysSilent();
    timersFireAtTheirIntervalsUntilDestroyed();
    outputLinesAreJsonWithJoxhostsFields();
    std::printf("winhost_test: %d failed check(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}

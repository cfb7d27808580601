// NetLib against servers on 127.0.0.1: plain and TLS connections, the
// events the plug-in's handler gets, failures and the blocking send.
#include "net/netlib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "postrix/abi/records_netlib.h"
#include "temp_dir.h"
#include "test_certs.h"
#include "test_server.h"
#include "core/utf.h"
#include "net/winsock_errors.h"

namespace joxhost {
namespace {

using postrix::NetConnection;

struct Received {
    int32_t code = 0;
    std::string data;
    bool nulAfterData = false;
    int32_t tlsStatus = -1;
    int32_t tlsCode = 0;
    std::string tlsText;
    int32_t error = 0;
};

// Peak resident memory of the process, in KiB.
long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

class NetLibTest : public testing::Test {
protected:
    asio::io_context io;
    std::FILE* sink = std::fopen("/dev/null", "w");
    Reporter reporter{true, false, sink};
    PluginCalls calls{io};
    std::unique_ptr<NetLib> net;
    NetConnection connection{};
    std::vector<Received> events;
    std::function<void(const Received&)> onEvent;
    bool inHandler = false;
    bool nested = false;

    NetLibTest() {
        const std::u16string id = u"MAIL/Socket/SMTP/1";
        std::copy(id.begin(), id.end(), connection.id);
    }
    ~NetLibTest() override {
        net.reset();
        std::fclose(sink);
    }

    static int64_t handler(uintptr_t w, uintptr_t l, uintptr_t context) {
        auto* self = reinterpret_cast<NetLibTest*>(context);
        if (self->inHandler) self->nested = true;
        self->inHandler = true;
        const auto* event = reinterpret_cast<const postrix::NetEventRecord*>(w);
        EXPECT_EQ(event->connection, &self->connection);
        Received r;
        r.code = event->code;
        if (r.code == postrix::kNetData) {
            const auto* data = reinterpret_cast<const postrix::NetDataEvent*>(l);
            r.data.assign(data->bytes, static_cast<size_t>(data->count));
            r.nulAfterData = data->bytes[data->count] == 0;
        } else if (r.code == postrix::kNetTlsResult) {
            const auto* tls = reinterpret_cast<const postrix::NetTlsEvent*>(l);
            r.tlsStatus = tls->status;
            r.tlsCode = tls->errorCode;
            r.tlsText = utf8FromHost(tls->errorText);
        } else if (r.code == postrix::kNetError) {
            r.error = static_cast<int32_t>(l);
        }
        self->events.push_back(r);
        if (self->onEvent) self->onEvent(r);
        self->inHandler = false;
        return 0;
    }

    void make(NetLibOptions options = {}) {
        if (options.tlsModule.empty()) options.tlsModule = JOXHOST_TLS_MODULE;
        net = std::make_unique<NetLib>(calls, reporter, options);
        postrix::NetCreateRecord create{};
        create.size = sizeof create;
        create.kind = 2;
        create.handler = handler;
        create.context = reinterpret_cast<uintptr_t>(this);
        create.connection = &connection;
        ASSERT_EQ(net->create(&create), 0);
    }

    int64_t connect(int port, const std::u16string& host = u"127.0.0.1") {
        postrix::NetConnectRecord r{};
        r.size = sizeof r;
        r.connection = &connection;
        r.host = host.c_str();
        r.port = port;
        r.flags = 1;
        return net->connect(&r);
    }

    int64_t send(const std::string& bytes) {
        postrix::NetSendRecord r{};
        r.size = sizeof r;
        r.bytes = bytes.data();
        r.count = static_cast<int32_t>(bytes.size());
        r.connection = &connection;
        return net->send(&r);
    }

    // Runs the loop until the plug-in has seen an event with the code, or
    // the loop has nothing left to do.
    void runUntilEvent(int32_t code) {
        auto seen = [&] {
            for (const auto& e : events) {
                if (e.code == code) return true;
            }
            return false;
        };
        io.restart();
        while (!seen() && io.run_one() > 0) {
        }
    }

    std::vector<int32_t> codes() const {
        std::vector<int32_t> out;
        for (const auto& e : events) out.push_back(e.code);
        return out;
    }
};

TEST_F(NetLibTest, PlainDialogueDeliversEachEventInTurn) {
    test::TestServer server([](test::ServerConnection& c) {
        c.write("220 hello\r\n");
        if (c.readUntil("PING\r\n")) c.write("250 PONG\r\n");
        c.readSome();
    });
    make();
    onEvent = [&](const Received& r) {
        if (r.code != postrix::kNetData) return;
        if (r.data == "220 hello\r\n") {
            EXPECT_EQ(send("PING\r\n"), 6);
        }
        if (r.data == "250 PONG\r\n") net->close(&connection);
    };
    ASSERT_EQ(connect(server.port()), 0);
    io.run();  // ends when the connection is closed and nothing is left to do
    EXPECT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetData, postrix::kNetData}));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[1].nulAfterData);
    EXPECT_EQ(events[2].data, "250 PONG\r\n");
    EXPECT_FALSE(nested);
}

TEST_F(NetLibTest, WhatWasSentReachesTheObserversWithItsEndButIsNeverPrinted) {
    std::FILE* out = std::tmpfile();
    Reporter printing(true, true, out);  // --json and --verbose print the most
    std::vector<std::pair<int64_t, std::string>> sent;
    const ReporterTap tap(printing, [&](const Event& e) {
        if (e.name == "net" && e.text("what") == "sent") {
            EXPECT_EQ(e.text("connection"), "MAIL/Socket/SMTP/1");
            sent.emplace_back(e.number("bytes"), e.text("tail"));
        }
    });
    test::TestServer server([](test::ServerConnection& c) {
        c.write("* OK ready\r\n");
        if (c.readUntil("IDLE\r\n")) c.write("+ idling\r\n");
        c.readSome();
    });
    net = std::make_unique<NetLib>(calls, printing, NetLibOptions{});
    postrix::NetCreateRecord create{};
    create.size = sizeof create;
    create.kind = 2;
    create.handler = handler;
    create.context = reinterpret_cast<uintptr_t>(this);
    create.connection = &connection;
    ASSERT_EQ(net->create(&create), 0);
    onEvent = [&](const Received& r) {
        if (r.data == "* OK ready\r\n") {
            EXPECT_EQ(send("a1 LOGIN tester \"tajne-haslo\"\r\n"), 31);
            EXPECT_EQ(send(""), 0);  // nothing sent, nothing told
            EXPECT_EQ(send("a2 IDLE\r\n"), 9);
        }
        if (r.data == "+ idling\r\n") net->close(&connection);
    };
    ASSERT_EQ(connect(server.port()), 0);
    io.run();
    net.reset();  // before the reporter it prints to
    EXPECT_EQ(sent, (std::vector<std::pair<int64_t, std::string>>{{31, " \"tajne-haslo\"\r\n"}, {9, "a2 IDLE\r\n"}}));
    std::rewind(out);
    std::string printed(4096, '\0');
    printed.resize(std::fread(printed.data(), 1, printed.size(), out));
    std::fclose(out);
    EXPECT_NE(printed.find("\"connected\""), std::string::npos) << printed;
    EXPECT_EQ(printed.find("sent"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("tajne"), std::string::npos) << printed;
}

TEST_F(NetLibTest, ServerClosingIsEventThreeAndTheObjectConnectsAgain) {
    test::TestServer server([](test::ServerConnection& c) { c.write("bye"); });
    make();
    ASSERT_EQ(connect(server.port()), 0);
    runUntilEvent(postrix::kNetClosed);
    EXPECT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetData, postrix::kNetClosed}));
    net->close(&connection);
    events.clear();
    ASSERT_EQ(connect(server.port()), 0);
    runUntilEvent(postrix::kNetClosed);
    EXPECT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetData, postrix::kNetClosed}));
}

TEST_F(NetLibTest, RefusedConnectionIsEventNineWithTheWinsockCode) {
    make();
    ASSERT_EQ(connect(test::closedPort()), 0);
    runUntilEvent(postrix::kNetError);
    ASSERT_EQ(codes(), (std::vector<int32_t>{postrix::kNetError}));
    EXPECT_EQ(events[0].error, 10061);
}

TEST_F(NetLibTest, NoEventsReachThePlugInAfterItClosed) {
    test::TestServer server([](test::ServerConnection& c) {
        c.write("one\r\n");
        c.readSome();  // returns when the client has gone
        c.write("late\r\n");
    });
    make();
    onEvent = [&](const Received& r) {
        if (r.code == postrix::kNetData) net->close(&connection);
    };
    ASSERT_EQ(connect(server.port()), 0);
    io.run();
    EXPECT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetData}));
}

TEST_F(NetLibTest, MisusedCallsFailWithoutTouchingTheNetwork) {
    make();
    EXPECT_EQ(send("x"), -1);                                   // not connected
    EXPECT_NE(net->initSsl(&connection, postrix::kInitSslFlags), 0);  // not connected
    EXPECT_EQ(connect(0), winsock::kAddressNotAvailable);
    EXPECT_EQ(connect(25, u""), winsock::kHostNotFound);
    NetConnection unknown{};
    EXPECT_NE(net->close(&unknown), 0);
    EXPECT_NE(net->destroy(&unknown), 0);
    postrix::NetConnectRecord r{};
    r.size = sizeof r;
    r.connection = &unknown;
    r.host = u"127.0.0.1";
    r.port = 25;
    EXPECT_EQ(net->connect(&r), winsock::kNotSocket);

    test::TestServer server([](test::ServerConnection& c) { c.readSome(); });
    ASSERT_EQ(connect(server.port()), 0);
    EXPECT_EQ(connect(server.port()), winsock::kAlreadyConnected);
    EXPECT_EQ(net->destroy(&connection), 0);
    EXPECT_EQ(connect(server.port()), winsock::kNotSocket);
    io.run();
    EXPECT_TRUE(events.empty());
}

class NetLibTlsTest : public NetLibTest {
protected:
    test::TempDir dir;
    test::CertFiles trusted = test::makeCertificates(dir.path(), "trusted", {"IP:127.0.0.1", "DNS:localhost"});

    NetLibOptions trusting(const std::filesystem::path& ca) {
        NetLibOptions options;
        options.caFile = ca.string();
        return options;
    }
};

TEST_F(NetLibTlsTest, StartTlsAfterAPlainGreetingVerifiesTheServer) {
    test::TestServer server(
        [](test::ServerConnection& c) {
            c.write("220 ready\r\n");
            if (!c.readUntil("STARTTLS\r\n")) return;
            c.write("220 go ahead\r\n");
            if (!c.startTls()) return;
            c.write("250 secure\r\n");
            if (c.readUntil("QUIT\r\n")) c.write("221 bye\r\n");
            c.readSome();
        },
        trusted.serverCert, trusted.serverKey);
    make(trusting(trusted.caCert));
    onEvent = [&](const Received& r) {
        if (r.data == "220 ready\r\n") send("STARTTLS\r\n");
        if (r.data == "220 go ahead\r\n") {
            EXPECT_EQ(net->initSsl(&connection, postrix::kInitSslFlags), 0);
        }
        if (r.data == "250 secure\r\n") send("QUIT\r\n");
        if (r.data == "221 bye\r\n") net->close(&connection);
    };
    ASSERT_EQ(connect(server.port()), 0);
    io.run();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[3].code, postrix::kNetTlsResult);
    EXPECT_EQ(events[3].tlsStatus, 1);
    EXPECT_EQ(events[5].data, "221 bye\r\n");
    EXPECT_FALSE(nested);
}

TEST_F(NetLibTlsTest, TlsFromTheFirstByteWorksByHostName) {
    test::TestServer server(
        [](test::ServerConnection& c) {
            if (c.startTls()) c.write("+OK POP3 ready\r\n");
            c.readSome();
        },
        trusted.serverCert, trusted.serverKey);
    make(trusting(trusted.caCert));
    onEvent = [&](const Received& r) {
        if (r.code == postrix::kNetConnected) net->initSsl(&connection, postrix::kInitSslFlags);
        if (r.code == postrix::kNetData) net->close(&connection);
    };
    // localhost may resolve to ::1 first, where nothing listens; the
    // connection then goes on to 127.0.0.1.
    ASSERT_EQ(connect(server.port(), u"localhost"), 0);
    io.run();
    ASSERT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetTlsResult, postrix::kNetData}));
    EXPECT_EQ(events[1].tlsStatus, 1);
    EXPECT_EQ(events[2].data, "+OK POP3 ready\r\n");
}

// The system store's bundle file is read only when an issuer is missing
// from the store and the hashed directory; a server it signs still passes.
TEST_F(NetLibTlsTest, TheSystemBundleVerifiesAServerNoOtherCertificateSigns) {
    const test::TempDir emptyDirectory;
    struct Environment {
        std::string name;
        std::optional<std::string> saved;
        Environment(const char* variable, const std::string& value) : name(variable) {
            if (const char* old = std::getenv(variable)) saved = old;
            setenv(variable, value.c_str(), 1);
        }
        ~Environment() { saved ? setenv(name.c_str(), saved->c_str(), 1) : unsetenv(name.c_str()); }
    };
    const Environment bundle("SSL_CERT_FILE", trusted.caCert.string());
    const Environment directory("SSL_CERT_DIR", emptyDirectory.path().string());
    test::TestServer server(
        [](test::ServerConnection& c) {
            if (c.startTls()) c.write("+OK POP3 ready\r\n");
            c.readSome();
        },
        trusted.serverCert, trusted.serverKey);
    make(NetLibOptions{});  // no --ca-file: only the system store can vouch for it
    onEvent = [&](const Received& r) {
        if (r.code == postrix::kNetConnected) net->initSsl(&connection, postrix::kInitSslFlags);
        if (r.code == postrix::kNetData || r.code == postrix::kNetTlsResult) net->close(&connection);
    };
    ASSERT_EQ(connect(server.port()), 0);
    io.run();
    ASSERT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetTlsResult})) << events.back().tlsText;
    EXPECT_EQ(events[1].tlsStatus, 1) << events[1].tlsText;
}

TEST_F(NetLibTlsTest, FailedVerificationIsAFailedHandshakeWithOpenSslsReason) {
    const auto other = test::makeCertificates(dir.path(), "other", {"IP:127.0.0.1"});
    const auto misnamed = test::makeCertificates(dir.path(), "misnamed", {"DNS:mail.example.test"});
    const struct {
        test::CertFiles server;
        std::filesystem::path ca;
        const char* reason;
    } cases[] = {
        {trusted, other.caCert, "unable to get local issuer certificate"},
        {misnamed, misnamed.caCert, "IP address mismatch"},
    };
    for (const auto& c : cases) {
        events.clear();
        test::TestServer server([](test::ServerConnection& s) { s.startTls(); }, c.server.serverCert,
                                c.server.serverKey);
        make(trusting(c.ca));
        onEvent = [&](const Received& r) {
            if (r.code == postrix::kNetConnected) net->initSsl(&connection, postrix::kInitSslFlags);
            if (r.code == postrix::kNetTlsResult) net->close(&connection);
        };
        ASSERT_EQ(connect(server.port()), 0);
        io.restart();
        io.run();
        ASSERT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetTlsResult})) << c.reason;
        EXPECT_EQ(events[1].tlsStatus, 0);
        EXPECT_NE(events[1].tlsCode, 0);
        EXPECT_NE(events[1].tlsText.find("certificate verify failed"), std::string::npos) << events[1].tlsText;
        EXPECT_NE(events[1].tlsText.find(c.reason), std::string::npos) << events[1].tlsText;
    }
}

// OpenSSL and the CA file are loaded when the first connection starts: a
// plain dialogue never needs them, and a TLS start without them fails with
// the reason printed.
TEST_F(NetLibTlsTest, WhatTlsCannotLoadFailsOnlyTheTlsStart) {
    const auto unreadable = dir.path() / "not-a-certificate.pem";
    std::ofstream(unreadable) << "not a certificate\n";
    NetLibOptions noModule = trusting(trusted.caCert);
    noModule.tlsModule = dir.path() / "joxhost-tls.so";
    const struct {
        NetLibOptions options;
        std::string reason;
    } cases[] = {
        {trusting(unreadable), "cannot load CA file " + unreadable.string() + ": "},
        {noModule, "cannot load the TLS module " + noModule.tlsModule.string() + ": "},
    };
    for (const auto& c : cases) {
        events.clear();
        std::vector<std::string> hostErrors;
        const ReporterTap tap(reporter, [&](const Event& e) {
            if (e.name == "host-error") hostErrors.push_back(e.text("text"));
        });
        test::TestServer server([](test::ServerConnection& s) {
            s.write("220 ready\r\n");
            s.readSome();
        });
        make(c.options);
        int64_t started = -1;
        onEvent = [&](const Received& r) {
            if (r.code != postrix::kNetData) return;
            started = net->initSsl(&connection, postrix::kInitSslFlags);
            net->close(&connection);
        };
        ASSERT_EQ(connect(server.port()), 0);
        io.restart();
        io.run();
        ASSERT_EQ(codes(), (std::vector<int32_t>{postrix::kNetConnected, postrix::kNetData})) << c.reason;
        EXPECT_EQ(events[1].data, "220 ready\r\n");
        EXPECT_EQ(started, 1);
        ASSERT_EQ(hostErrors.size(), 1u) << c.reason;
        EXPECT_EQ(hostErrors[0].rfind(c.reason, 0), 0u) << hostErrors[0];
    }
}

TEST_F(NetLibTlsTest, ALargeSendGoesOutInOneCallWithFlatMemory) {
#ifdef POSTRIX_SANITIZED
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine, so the peak says nothing here";
#endif
    constexpr size_t kSize = 64u << 20;
    std::atomic<size_t> received{0};
    test::TestServer server(
        [&](test::ServerConnection& c) {
            if (c.startTls()) received = c.drain();
        },
        trusted.serverCert, trusted.serverKey);
    make(trusting(trusted.caCert));
    std::string payload(kSize, 'x');
    long growthKiB = -1;
    onEvent = [&](const Received& r) {
        if (r.code == postrix::kNetConnected) net->initSsl(&connection, postrix::kInitSslFlags);
        if (r.code != postrix::kNetTlsResult) return;
        ASSERT_EQ(r.tlsStatus, 1);
        resetPeakResident();
        const long before = peakResidentKiB();
        EXPECT_EQ(send(payload), static_cast<int64_t>(kSize));
        growthKiB = peakResidentKiB() - before;
        net->close(&connection);
    };
    ASSERT_EQ(connect(server.port()), 0);
    io.run();
    server.waitForScripts(1);
    EXPECT_EQ(received.load(), kSize);
    // The bytes are encrypted and written piece by piece: nothing near the
    // payload's size is held on the way.
    EXPECT_GE(growthKiB, 0);
    EXPECT_LT(growthKiB, 16 * 1024);
}

TEST_F(NetLibTest, ASendThatCannotGoOutFailsAfterTheTimeLimit) {
    test::TestServer server([](test::ServerConnection& c) { c.readUntil("never arrives"); });
    NetLibOptions options;
    options.sendTimeLimit = std::chrono::milliseconds(200);
    make(options);
    int64_t result = 0;
    onEvent = [&](const Received& r) {
        if (r.code != postrix::kNetConnected) return;
        result = send(std::string(64u << 20, 'x'));  // far more than the socket buffers hold
        net->close(&connection);
    };
    ASSERT_EQ(connect(server.port()), 0);
    io.run();
    EXPECT_EQ(result, -1);
}

TEST(WinsockErrors, SocketErrorsMapToWinsockNumbers) {
    const struct {
        std::error_code error;
        int32_t code;
    } cases[] = {
        {asio::error::connection_refused, 10061}, {asio::error::timed_out, 10060},
        {std::error_code(ECONNREFUSED, asio::error::get_system_category()), 10061},
        {std::error_code(ECONNRESET, std::system_category()), 10054},
        {asio::error::connection_reset, 10054},   {asio::error::broken_pipe, 10054},
        {asio::error::connection_aborted, 10053}, {asio::error::network_unreachable, 10051},
        {asio::error::host_unreachable, 10065},   {asio::error::host_not_found, 11001},
        {asio::error::host_not_found_try_again, 11002}, {asio::error::no_data, 11004},
        {std::make_error_code(std::errc::not_enough_memory), 10055},
        {std::make_error_code(std::errc::no_lock_available), 10107},
    };
    for (const auto& c : cases) EXPECT_EQ(winsock::fromError(c.error), c.code) << c.error.message();
}

}  // namespace
}  // namespace joxhost

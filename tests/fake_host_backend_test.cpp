// The fake host's hooks for a host program built on it: a network backend
// under the NetLib services and the call after each service call.
#include <gtest/gtest.h>

#include "abi/records_netlib.h"
#include "support/fake_host.h"

namespace postrix::test {
namespace {

class RecordingBackend : public NetBackend {
public:
    std::vector<std::string> seen;
    int64_t connectResult = 0, sendResult = 0, tlsResult = 0;

    int64_t connect(FakeConnection& c) override {
        seen.push_back("connect " + c.host + ":" + std::to_string(c.port));
        return connectResult;
    }
    int64_t send(FakeConnection& c, std::string_view bytes) override {
        seen.push_back("send " + c.id + " " + std::string(bytes));
        return sendResult;
    }
    int64_t startTls(FakeConnection& c) override {
        seen.push_back("tls " + c.id);
        return tlsResult;
    }
    void close(FakeConnection& c) override { seen.push_back(std::string(c.destroyed ? "destroy " : "close ") + c.id); }
};

class FakeHostBackendTest : public ::testing::Test {
protected:
    FakeHost host;
    RecordingBackend backend;
    NetConnection object{u"conn"};

    int64_t call(const char16_t* name, const void* w) {
        return host.table()->callService(name, reinterpret_cast<uintptr_t>(w), 0);
    }
    void create() {
        NetCreateRecord record{};
        record.size = sizeof record;
        record.connection = &object;
        call(u"NetLib/Create", &record);
    }
    int64_t connect() {
        NetConnectRecord record{};
        record.size = sizeof record;
        record.connection = &object;
        record.host = u"127.0.0.1";
        record.port = 10587;
        return call(u"NetLib/Connect", &record);
    }
    int64_t send(std::string_view bytes) {
        NetSendRecord record{};
        record.size = sizeof record;
        record.bytes = bytes.data();
        record.count = static_cast<int32_t>(bytes.size());
        record.connection = &object;
        return call(u"NetLib/Send", &record);
    }
};

TEST_F(FakeHostBackendTest, EveryConnectionRequestReachesTheBackendWhichAnswersIt) {
    host.netBackend = &backend;
    create();
    backend.connectResult = 10061;
    EXPECT_EQ(connect(), 10061);
    backend.sendResult = 4;
    EXPECT_EQ(send("EHLO"), 4);
    backend.tlsResult = 1;
    EXPECT_EQ(call(u"NetLib/InitSSL", &object), 1);
    call(u"NetLib/Close", &object);
    call(u"NetLib/Destroy", &object);
    EXPECT_EQ(backend.seen, (std::vector<std::string>{"connect 127.0.0.1:10587", "send conn EHLO", "tls conn",
                                                      "close conn", "destroy conn"}));
    // The records a test reads stay as without a backend, all but the copy of what was sent.
    const FakeConnection& c = host.connections.front();
    EXPECT_EQ(c.connects, 1);
    EXPECT_EQ(c.sslStarts, 1);
    EXPECT_EQ(c.closes, 1);
    EXPECT_TRUE(c.destroyed);
    EXPECT_EQ(c.sent, "");
}

TEST_F(FakeHostBackendTest, AFailingSendNumberFailsBeforeTheBackendIsAsked) {
    host.netBackend = &backend;
    host.failSendNumber = 2;
    backend.sendResult = 1;
    create();
    connect();
    EXPECT_EQ(send("a"), 1);
    EXPECT_EQ(send("b"), -1);
    EXPECT_EQ(backend.seen.back(), "send conn a");
}

TEST_F(FakeHostBackendTest, TheHookAfterAServiceCallComesOnceTheCallIsKept) {
    std::vector<std::string> seen;
    host.afterServiceCall = [&](const std::u16string& service) {
        seen.push_back(utf8(service) + " " + std::to_string(host.connections.size()));
    };
    create();
    EXPECT_EQ(seen, std::vector<std::string>{"NetLib/Create 1"});
}

}  // namespace
}  // namespace postrix::test

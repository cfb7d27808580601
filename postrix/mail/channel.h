// The command channel under both mail sessions: it owns the connection,
// sends command lines and reports the traffic, keeps the receive clock, cuts
// the incoming bytes into replies with the session's framer and hands the
// session whole replies, or the lines of a long one as they arrive. A
// session keeps only its own states, rules and texts.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "abi/records_netlib.h"
#include "host/connection.h"
#include "host/host.h"
#include "mail/reply_framer.h"

namespace postrix::mail {

// The network under a channel: a connection of the host's network service
// and the host's traffic report, or a test's fake.
class Link {
public:
    virtual ~Link() = default;
    // Whether the connection object exists.
    virtual bool created() const = 0;
    // 0 = connecting (events follow), else the service's error code.
    virtual int64_t connect(std::u16string_view hostName, int32_t port) = 0;
    // Negative = failed.
    virtual int32_t send(std::string_view bytes) = 0;
    // 0 = TLS handshake begun; the result arrives as an event.
    virtual int64_t initSsl() = 0;
    virtual void close() = 0;
    virtual void reportTraffic(TrafficDirection direction, std::string_view bytes) = 0;
};

// What a session does with what arrives on its channel.
class ChannelEvents {
public:
    // False while no exchange is in progress: arriving bytes are then only
    // reported, never framed.
    virtual bool awaitingReply() const = 0;
    virtual void onConnected() = 0;
    virtual void onReply(std::string_view reply) = 0;
    // Result::Empty or Result::TooLong from the framer.
    virtual void onBadReply(ReplyFramer::Result result) = 0;
    virtual void onClosedByPeer() = 0;
    virtual void onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) = 0;
    virtual void onConnectionError(uint32_t code) = 0;

protected:
    ~ChannelEvents() = default;
};

class Channel final : public ConnectionEvents {
public:
    // A connection of the host's network service named id; its traffic is
    // reported for accountId.
    Channel(Host host, std::u16string_view id, int32_t accountId, ReplyFramer& framer, ChannelEvents& events);
    // Any link, a fake in tests; its events enter through the
    // ConnectionEvents calls.
    Channel(std::unique_ptr<Link> link, ReplyFramer& framer, ChannelEvents& events);
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool created() const { return link_->created(); }

    // Begins an exchange: the framer and the abandoned mark are cleared and
    // the receive clock starts.
    void begin();
    // Connects to "host[:port]"; on an error code the connection is closed
    // and the code returned.
    int64_t connect(std::string_view server, int32_t defaultPort);
    // Sends text and reports it; false, with nothing reported, when the send
    // failed.
    bool send(std::string_view text);
    // Sends QUIT, reports it and closes; its reply is never read.
    void quit();
    void close() { link_->close(); }
    int64_t initSsl() { return link_->initSsl(); }

    // Marks the exchange ended by a failure: its events are ignored until
    // the next begin().
    void abandon() { abandoned_ = true; }
    bool abandoned() const { return abandoned_; }

    // Restarts the receive clock.
    void touch();
    // Whether nothing was sent or received for ms milliseconds.
    bool silentFor(uint32_t ms) const;

    // The host connection's event handler; the context is the channel.
    static int64_t onEvent(uintptr_t event, uintptr_t data, uintptr_t context);

    // One event each, ignored while the exchange is abandoned; data is
    // reported and framed.
    void onConnected() override;
    void onClosedByPeer() override;
    void onData(std::string_view bytes) override;
    void onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) override;
    void onConnectionError(uint32_t code) override;

private:
    std::unique_ptr<Link> link_;
    ReplyFramer& framer_;
    ChannelEvents& events_;
    bool abandoned_ = false;
    uint32_t lastActivity_ = 0;
};

}  // namespace postrix::mail

#include "mail/channel.h"

#include "platform/clock.h"
#include "text/text_conversion.h"

namespace postrix::mail {

namespace {

uint32_t now() { return platform::clock().tickMs(); }

// A connection of the host's network service; traffic goes to the host's
// protocol hooks.
class HostLink final : public Link {
public:
    HostLink(Host host, std::u16string_view id, int32_t accountId, uintptr_t context)
        : host_(host), accountId_(accountId), connection_(host, id, &Channel::onEvent, context) {}

    bool created() const override { return connection_.created(); }
    int64_t connect(std::u16string_view hostName, int32_t port) override {
        return connection_.connect(hostName, port);
    }
    int32_t send(std::string_view bytes) override { return connection_.send(bytes); }
    int64_t initSsl() override { return connection_.initSsl(); }
    void close() override { connection_.close(); }
    void reportTraffic(TrafficDirection direction, std::string_view bytes) override {
        postrix::reportTraffic(host_, accountId_, direction, bytes);
    }

private:
    Host host_;
    int32_t accountId_;
    Connection connection_;
};

}  // namespace

Channel::Channel(Host host, std::u16string_view id, int32_t accountId, ReplyFramer& framer, ChannelEvents& events)
    : link_(std::make_unique<HostLink>(host, id, accountId, contextOf(this))), framer_(framer), events_(events) {}

Channel::Channel(std::unique_ptr<Link> link, ReplyFramer& framer, ChannelEvents& events)
    : link_(std::move(link)), framer_(framer), events_(events) {}

void Channel::begin() {
    abandoned_ = false;
    framer_.clear();
    touch();
}

int64_t Channel::connect(std::string_view server, int32_t defaultPort) {
    const HostPort target = splitHostPort(server, defaultPort);
    const int64_t result = link_->connect(text::utf8ToWide(target.host), target.port);
    if (result != 0) link_->close();
    return result;
}

bool Channel::send(std::string_view text) {
    if (link_->send(text) < 0) return false;
    link_->reportTraffic(kTrafficSent, text);
    touch();
    return true;
}

void Channel::quit() {
    constexpr std::string_view quit = "QUIT\r\n";
    link_->send(quit);
    link_->reportTraffic(kTrafficSent, quit);
    link_->close();
}

void Channel::touch() { lastActivity_ = now(); }

bool Channel::silentFor(uint32_t ms) const { return now() - lastActivity_ >= ms; }

int64_t Channel::onEvent(uintptr_t event, uintptr_t data, uintptr_t context) {
    if (auto* channel = fromContext<Channel>(context)) dispatchConnectionEvent(event, data, *channel);
    return 0;
}

// Events of an abandoned exchange are ignored until the next begin().

void Channel::onConnected() {
    if (!abandoned_) events_.onConnected();
}

void Channel::onClosedByPeer() {
    if (!abandoned_) events_.onClosedByPeer();
}

void Channel::onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) {
    if (!abandoned_) events_.onTlsResult(status, errorCode, errorText);
}

void Channel::onConnectionError(uint32_t code) {
    if (!abandoned_) events_.onConnectionError(code);
}

void Channel::onData(std::string_view bytes) {
    if (abandoned_) return;
    link_->reportTraffic(kTrafficReceived, bytes);
    touch();
    // Bytes while no exchange is in progress (the reply to QUIT, anything
    // after a check or a send) are dropped.
    if (!events_.awaitingReply()) return;
    for (ReplyFramer::Result result = framer_.add(bytes);; result = framer_.next()) {
        switch (result) {
            case ReplyFramer::Result::Incomplete:
                return;
            case ReplyFramer::Result::Empty:
            case ReplyFramer::Result::TooLong:
                return events_.onBadReply(result);
            case ReplyFramer::Result::Complete:
                events_.onReply(framer_.reply());
                // A reply that ended the exchange leaves the rest unread.
                if (abandoned_ || !events_.awaitingReply()) return;
                break;
        }
    }
}

}  // namespace postrix::mail

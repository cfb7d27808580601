#include "host/connection.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace postrix {

Connection::Connection(Host host, std::u16string_view id, JoxHandler handler, uintptr_t context)
    : host_(host), object_(std::make_unique<NetConnection>()) {
    const size_t length = std::min<size_t>(id.size(), NetConnection::kMaxIdLength);
    std::copy_n(id.begin(), length, object_->id);
    NetCreateRecord record{};
    record.size = sizeof(NetCreateRecord);
    record.kind = 2;
    record.handler = handler;
    record.context = context;
    record.connection = object_.get();
    created_ = host_.call(u"NetLib/Create", &record) == 0;
}

Connection::~Connection() { host_.call(u"NetLib/Destroy", object_.get()); }

int64_t Connection::connect(std::u16string_view hostName, int32_t port) {
    const std::u16string name(hostName);
    NetConnectRecord record{};
    record.size = sizeof(NetConnectRecord);
    record.connection = object_.get();
    record.host = name.c_str();
    record.port = port;
    record.flags = 1;
    return host_.call(u"NetLib/Connect", &record);
}

int32_t Connection::send(std::string_view bytes) {
    NetSendRecord record{};
    record.size = sizeof(NetSendRecord);
    record.bytes = bytes.data();
    record.count = static_cast<int32_t>(bytes.size());
    record.connection = object_.get();
    return static_cast<int32_t>(host_.call(u"NetLib/Send", &record));
}

int64_t Connection::initSsl() { return host_.call(u"NetLib/InitSSL", object_.get(), kInitSslFlags); }

void Connection::close() { host_.call(u"NetLib/Close", object_.get()); }

void dispatchConnectionEvent(uintptr_t event, uintptr_t data, ConnectionEvents& events) {
    const auto* record = reinterpret_cast<const NetEventRecord*>(event);
    if (!record) return;
    switch (record->code) {
        case kNetConnected:
            events.onConnected();
            break;
        case kNetClosed:
            events.onClosedByPeer();
            break;
        case kNetData: {
            const auto* chunk = reinterpret_cast<const NetDataEvent*>(data);
            const bool hasBytes = chunk && chunk->bytes && chunk->count > 0;
            events.onData(hasBytes ? std::string_view(chunk->bytes, static_cast<size_t>(chunk->count))
                                   : std::string_view());
            break;
        }
        case kNetTlsResult:
            if (const auto* tls = reinterpret_cast<const NetTlsEvent*>(data))
                events.onTlsResult(tls->status, tls->errorCode, tls->errorText);
            break;
        case kNetError:
            events.onConnectionError(static_cast<uint32_t>(data));
            break;
        default:
            break;
    }
}

HostPort splitHostPort(std::string_view server, int32_t defaultPort) {
    const size_t colon = server.rfind(':');
    if (colon == std::string_view::npos) return {std::string(server), defaultPort};
    std::string host(server.substr(0, colon));
    if (colon + 1 == server.size()) return {std::move(host), defaultPort};
    // Read like atoi (blanks, sign, digits up to the first non-digit), but
    // clamped instead of overflowing on an absurdly long number.
    const std::string portText(server.substr(colon + 1));
    const long port = std::strtol(portText.c_str(), nullptr, 10);
    return {std::move(host), static_cast<int32_t>(std::clamp<long>(port, INT32_MIN, INT32_MAX))};
}

void reportTraffic(const Host& host, int32_t accountId, TrafficDirection direction,
                   std::string_view bytes) {
    TrafficHeaderRecord header{};
    header.size = sizeof(TrafficHeaderRecord);
    header.netClass = u"MAIL";
    header.accountId = accountId;
    header.direction = direction;
    header.phase = 1;
    TrafficDataRecord data{};
    data.size = sizeof(TrafficDataRecord);
    data.bytes = bytes.data();
    data.count = static_cast<int32_t>(bytes.size());
    data.kind = 5;
    if (host.call(u"JOX/CallProtolHooks", &header, reinterpret_cast<uintptr_t>(&data)) == 0) {
        header.phase = 2;
        host.call(u"JOX/CallProtolHooks", &header, reinterpret_cast<uintptr_t>(&data));
    }
}

}  // namespace postrix

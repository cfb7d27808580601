// One connection object of the host's network service ("NetLib/..."), owned
// by a mail session. The object's address is the handle of every call; its
// events go to the handler given at creation.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "abi/records_netlib.h"
#include "host/host.h"

namespace postrix {

class Connection {
public:
    // Creates the host's connection object named id; created() tells whether
    // the host accepted it.
    Connection(Host host, std::u16string_view id, JoxHandler handler, uintptr_t context);
    ~Connection();  // "NetLib/Destroy"
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool created() const { return created_; }
    NetConnection* object() const { return object_.get(); }

    // 0 = connecting (events follow), else the service's error code.
    int64_t connect(std::u16string_view hostName, int32_t port);
    // Negative (as int32) = failed.
    int32_t send(std::string_view bytes);
    // 0 = TLS handshake begun; the result arrives as an event.
    int64_t initSsl();
    void close();

private:
    Host host_;
    std::unique_ptr<NetConnection> object_;
    bool created_ = false;
};

// What a session does with the events of its connection.
class ConnectionEvents {
public:
    virtual void onConnected() = 0;
    virtual void onClosedByPeer() = 0;
    virtual void onData(std::string_view bytes) = 0;  // empty when the event held none
    virtual void onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) = 0;
    virtual void onConnectionError(uint32_t code) = 0;

protected:
    ~ConnectionEvents() = default;
};

// Decodes one event of the network service (the handler's wParam and lParam)
// and hands it to events; codes it does not know are ignored.
void dispatchConnectionEvent(uintptr_t event, uintptr_t data, ConnectionEvents& events);

// Host and port of a server text "host[:port]": the text after the last ':'
// read as a decimal number the way atoi reads it; no colon, or nothing after
// it, gives the default port.
struct HostPort {
    std::string host;
    int32_t port;
};
HostPort splitHostPort(std::string_view server, int32_t defaultPort);

// Reports one chunk of traffic to "JOX/CallProtolHooks" (phase 1, then
// phase 2 when the first call returned 0).
void reportTraffic(const Host& host, int32_t accountId, TrafficDirection direction,
                   std::string_view bytes);

}  // namespace postrix

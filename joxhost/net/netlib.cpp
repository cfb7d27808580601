#include "net/netlib.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "postrix/abi/records_netlib.h"
#include "net/tls_channel.h"
#include "core/utf.h"
#include "net/winsock_errors.h"

namespace joxhost {

using postrix::NetConnection;
using postrix::NetConnectRecord;
using postrix::NetCreateRecord;
using postrix::NetDataEvent;
using postrix::NetEventRecord;
using postrix::NetSendRecord;
using postrix::NetTlsEvent;

struct NetLib::Link {
    enum class State { Resolving = 1, Connecting = 2, Open = 3, Ended = 4 };

    Link(asio::io_context& io, NetConnection* owner, std::string linkId, std::string hostName, int portNumber)
        : object(owner), id(std::move(linkId)), host(std::move(hostName)), port(portNumber), socket(io),
          resolver(io), timer(io) {}

    NetConnection* object;
    std::string id;
    std::string host;
    int port;
    asio::ip::tcp::socket socket;
    asio::ip::tcp::resolver resolver;
    asio::steady_timer timer;
    State state = State::Resolving;
    bool closedByPlugin = false;
    // When the server was last heard from (connected, or bytes arrived): a
    // close after a long silence is the plug-in giving up on the server.
    std::chrono::steady_clock::time_point lastHeard = std::chrono::steady_clock::now();
    std::unique_ptr<TlsChannel> tls;
    std::array<char, 16384> buffer{};
};

struct NetLib::Connection {
    NetConnection* object;
    JoxHandler handler;
    uintptr_t context;
    std::shared_ptr<Link> link;
};

namespace {

std::string connectionId(const NetConnection* object) {
    std::u16string id;
    for (int i = 0; i < NetConnection::kMaxIdLength && object->id[i]; ++i) id += object->id[i];
    return toUtf8(id);
}

bool live(const NetLib::Link& link) {
    return !link.closedByPlugin && link.state != NetLib::Link::State::Ended;
}

}  // namespace

NetLib::NetLib(PluginCalls& calls, Reporter& reporter, NetLibOptions options)
    : calls_(calls), reporter_(reporter), options_(std::move(options)) {}

NetLib::~NetLib() {
    for (auto& [object, connection] : connections_) {
        if (connection->link) shutDown(*connection->link);
    }
}

void NetLib::install(ServiceRegistry& services) {
    services.addHostService(u"NetLib/Create", [this](uintptr_t w, uintptr_t) {
        return create(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"NetLib/Connect", [this](uintptr_t w, uintptr_t) {
        return connect(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"NetLib/Send", [this](uintptr_t w, uintptr_t) {
        return send(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"NetLib/InitSSL", [this](uintptr_t w, uintptr_t l) {
        return initSsl(reinterpret_cast<NetConnection*>(w), l);
    });
    services.addHostService(u"NetLib/Close", [this](uintptr_t w, uintptr_t) {
        return close(reinterpret_cast<NetConnection*>(w));
    });
    services.addHostService(u"NetLib/Destroy", [this](uintptr_t w, uintptr_t) {
        return destroy(reinterpret_cast<NetConnection*>(w));
    });
}

NetLib::Connection* NetLib::find(NetConnection* object) {
    const auto it = connections_.find(object);
    return it == connections_.end() ? nullptr : it->second.get();
}

void NetLib::report(const Link& link, const char* what, Event event) {
    event.fields.insert(event.fields.begin(), {{"connection", link.id}, {"what", std::string(what)}});
    reporter_.emit(event);
}

// ---- services ------------------------------------------------------------

int64_t NetLib::create(const void* recordPointer) {
    const auto* r = static_cast<const NetCreateRecord*>(recordPointer);
    if (!r || !r->connection || !r->handler) return 1;
    if (Connection* existing = find(r->connection)) {
        close(r->connection);
        existing->handler = r->handler;
        existing->context = r->context;
        return 0;
    }
    connections_[r->connection] =
        std::make_unique<Connection>(Connection{r->connection, r->handler, r->context, nullptr});
    return 0;
}

int64_t NetLib::connect(const void* recordPointer) {
    const auto* r = static_cast<const NetConnectRecord*>(recordPointer);
    if (!r) return winsock::kInvalidArgument;
    Connection* connection = find(r->connection);
    if (!connection) return winsock::kNotSocket;
    if (connection->link && live(*connection->link)) return winsock::kAlreadyConnected;
    const std::string host = utf8FromHost(r->host);
    if (host.empty()) return winsock::kHostNotFound;
    if (r->port <= 0 || r->port > 65535) return winsock::kAddressNotAvailable;

    auto link = std::make_shared<Link>(calls_.io(), r->connection, connectionId(r->connection), host, r->port);
    connection->link = link;
    ++connectCount_;
    report(*link, "connect", Event("net").add("host", host).add("port", r->port));

    link->timer.expires_after(options_.connectTimeLimit);
    link->timer.async_wait([this, link](const std::error_code& error) {
        if (error || !live(*link) || link->state == Link::State::Open) return;
        failLink(link, winsock::kTimedOut);
    });
    link->resolver.async_resolve(
        host, std::to_string(r->port), asio::ip::tcp::resolver::numeric_service,
        [this, link](const std::error_code& error, const asio::ip::tcp::resolver::results_type& results) {
            if (!live(*link) || link->state != Link::State::Resolving) return;
            if (error) {
                failLink(link, winsock::fromError(error));
                return;
            }
            onResolved(link, results);
        });
    return 0;
}

int64_t NetLib::send(const void* recordPointer) {
    const auto* r = static_cast<const NetSendRecord*>(recordPointer);
    if (!r || r->count < 0 || (r->count > 0 && !r->bytes)) return -1;
    Connection* connection = find(r->connection);
    const auto link = connection ? connection->link : nullptr;
    if (!link || !live(*link) || link->state != Link::State::Open) return -1;
    const std::string_view bytes(r->bytes, static_cast<size_t>(r->count));
    if (!link->tls) {
        if (!writeRaw(*link, bytes)) return -1;
        reportSent(*link, bytes);
        return r->count;
    }
    if (!link->tls->established()) return -1;
    // Piece by piece, so what waits encrypted in memory stays small.
    constexpr size_t kPiece = 64 * 1024;
    for (size_t offset = 0; offset < bytes.size(); offset += kPiece) {
        const auto piece = bytes.substr(offset, kPiece);
        if (!link->tls->writePlain(piece.data(), piece.size()) || !flushTls(*link)) return -1;
    }
    reportSent(*link, bytes);
    return r->count;
}

// The observers learn how much went out and how it ended (a command's last
// bytes: " IDLE\r\n" says that an IMAP check is over). The bytes may hold
// a password, so nothing prints them.
void NetLib::reportSent(const Link& link, std::string_view bytes) {
    if (bytes.empty()) return;
    constexpr size_t kTail = 16;
    const std::string_view tail = bytes.substr(bytes.size() - std::min(bytes.size(), kTail));
    reporter_.tell(Event("net")
                       .add("connection", link.id)
                       .add("what", "sent")
                       .add("bytes", static_cast<int64_t>(bytes.size()))
                       .add("tail", std::string(tail)));
}

int64_t NetLib::initSsl(NetConnection* object, uintptr_t) {
    Connection* connection = find(object);
    const auto link = connection ? connection->link : nullptr;
    if (!link || !live(*link) || link->state != Link::State::Open || link->tls) return 1;
    const TlsContext* context = tlsContext();
    if (!context) {
        // A CA file OpenSSL cannot read, or a missing TLS module, fails
        // every TLS start; the user is told why, not only that TLS could not
        // start.
        reporter_.emit(Event("host-error").add("text", tlsProblem_));
        report(*link, "tls", Event("net").add("ok", false).add("reason", tlsProblem_));
        return 1;
    }
    std::string problem;
    link->tls = context->open(link->host, &problem);
    if (!link->tls) {
        report(*link, "tls", Event("net").add("ok", false).add("reason", problem));
        return 1;
    }
    stepHandshake(link);
    return 0;
}

int64_t NetLib::close(NetConnection* object) {
    Connection* connection = find(object);
    if (!connection) return 1;
    if (const auto link = connection->link) {
        if (!link->closedByPlugin) {
            const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - link->lastHeard);
            report(*link, "close", Event("net").add("silentMs", static_cast<int64_t>(silent.count())));
        }
        link->closedByPlugin = true;
        shutDown(*link);
        connection->link.reset();
    }
    return 0;
}

int64_t NetLib::destroy(NetConnection* object) {
    if (!find(object)) return 1;
    close(object);
    connections_.erase(object);
    return 0;
}

// ---- the network side ------------------------------------------------------

void NetLib::onResolved(const std::shared_ptr<Link>& link,
                        const asio::ip::tcp::resolver::results_type& results) {
    link->state = Link::State::Connecting;
    asio::async_connect(link->socket, results,
                        [this, link](const std::error_code& error, const asio::ip::tcp::endpoint&) {
                            if (!live(*link) || link->state != Link::State::Connecting) return;
                            if (error) {
                                failLink(link, winsock::fromError(error));
                                return;
                            }
                            onConnected(link);
                        });
    // The first connection makes the TLS context (loading OpenSSL, its start
    // and the trust store: a few ms) while its TCP handshake is under way. Made
    // before the connection, it would hold back the server's own start:
    // servers such as Dovecot begin a process for each connection they
    // accept, and answer a ClientHello only once it runs.
    tlsContext();
}

const TlsContext* NetLib::tlsContext() {
    if (!tls_ && tlsProblem_.empty()) {
        const auto module = options_.tlsModule.empty() ? defaultTlsModule() : options_.tlsModule;
        tls_ = makeTlsContext(module, options_.caFile, &tlsProblem_);
    }
    return tls_.get();
}

void NetLib::onConnected(const std::shared_ptr<Link>& link) {
    link->state = Link::State::Open;
    link->lastHeard = std::chrono::steady_clock::now();
    link->timer.cancel();
    std::error_code ignored;
    link->socket.non_blocking(true, ignored);
    link->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    report(*link, "connected", Event("net"));
    postEvent(link, postrix::kNetConnected);
    startReading(link);
}

void NetLib::startReading(const std::shared_ptr<Link>& link) {
    link->socket.async_read_some(asio::buffer(link->buffer),
                                 [this, link](const std::error_code& error, size_t count) {
                                     onRead(link, error, count);
                                 });
}

void NetLib::onRead(const std::shared_ptr<Link>& link, const std::error_code& error, size_t count) {
    if (!live(*link)) return;
    const bool handshaking = link->tls && !link->tls->established();
    if (error == asio::error::eof) {
        if (handshaking) {
            failHandshake(link, winsock::kConnectionReset,
                          "connection closed by the server during the TLS handshake");
        } else {
            peerClosed(link);
        }
        return;
    }
    if (error) {
        if (error == asio::error::operation_aborted) return;
        if (handshaking) {
            failHandshake(link, winsock::fromError(error), error.message());
        } else {
            failLink(link, winsock::fromError(error));
        }
        return;
    }
    link->lastHeard = std::chrono::steady_clock::now();
    if (!link->tls) {
        postData(link, std::string(link->buffer.data(), count));
    } else {
        link->tls->feed(link->buffer.data(), count);
        if (!link->tls->established()) stepHandshake(link);
        if (live(*link) && link->tls->established()) readTls(link);
    }
    if (live(*link)) startReading(link);
}

void NetLib::stepHandshake(const std::shared_ptr<Link>& link) {
    const TlsChannel::Result result = link->tls->handshake();
    if (!flushTls(*link)) {
        failHandshake(link, winsock::kConnectionReset, "cannot send the TLS handshake");
        return;
    }
    if (result == TlsChannel::Result::Done) {
        report(*link, "tls", Event("net").add("ok", true));
        postTlsResult(link, true, 0, {});
    } else if (result == TlsChannel::Result::Failed) {
        failHandshake(link, link->tls->errorCode(), link->tls->errorText());
    }
}

void NetLib::readTls(const std::shared_ptr<Link>& link) {
    std::string plain;
    const TlsChannel::Result result = link->tls->readPlain(plain);
    flushTls(*link);  // answers the peer may need (key updates)
    if (!plain.empty()) postData(link, std::move(plain));
    if (result == TlsChannel::Result::Closed) {
        peerClosed(link);
    } else if (result == TlsChannel::Result::Failed) {
        report(*link, "tls-error", Event("net").add("reason", link->tls->errorText()));
        failLink(link, winsock::kConnectionAborted);
    }
}

bool NetLib::writeRaw(Link& link, std::string_view bytes) {
    const auto deadline = std::chrono::steady_clock::now() + options_.sendTimeLimit;
    while (!bytes.empty()) {
        std::error_code error;
        const size_t written = link.socket.write_some(asio::buffer(bytes.data(), bytes.size()), error);
        if (!error) {
            bytes.remove_prefix(written);
            continue;
        }
        if (error == asio::error::interrupted) continue;
        if (error != asio::error::would_block && error != asio::error::try_again) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            report(link, "send-timeout", Event("net"));
            return false;
        }
        pollfd waiting{link.socket.native_handle(), POLLOUT, 0};
        ::poll(&waiting, 1, static_cast<int>(left.count()));
    }
    return true;
}

bool NetLib::flushTls(Link& link) {
    const std::string output = link.tls->takeOutput();
    return output.empty() || writeRaw(link, output);
}

void NetLib::shutDown(Link& link) {
    std::error_code ignored;
    link.timer.cancel();
    link.resolver.cancel();
    if (link.state == Link::State::Open && link.tls && link.tls->established()) {
        link.tls->shutdown();
        const std::string alert = link.tls->takeOutput();
        link.socket.write_some(asio::buffer(alert), ignored);  // once, without waiting
    }
    // Closing a socket with unread input makes the kernel reset the
    // connection, and a reset can destroy what the peer has not read yet of
    // ours. So: discard what has arrived, send FIN after the queued bytes,
    // then close.
    if (link.state == Link::State::Open) {  // only then is the socket non-blocking
        std::array<char, 16384> discard;
        for (int i = 0; i < 64; ++i) {
            const size_t n = link.socket.read_some(asio::buffer(discard), ignored);
            if (ignored || n == 0) break;
        }
    }
    link.socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    link.socket.close(ignored);
    link.state = Link::State::Ended;
}

void NetLib::failLink(const std::shared_ptr<Link>& link, int32_t code) {
    report(*link, "error", Event("net").add("code", code));
    shutDown(*link);
    postError(link, code);
}

void NetLib::failHandshake(const std::shared_ptr<Link>& link, int32_t code, const std::string& text) {
    report(*link, "tls", Event("net").add("ok", false).add("code", code).add("reason", text));
    shutDown(*link);
    postTlsResult(link, false, code, text);
}

void NetLib::peerClosed(const std::shared_ptr<Link>& link) {
    report(*link, "closed", Event("net"));
    shutDown(*link);
    postEvent(link, postrix::kNetClosed);
}

// ---- delivery --------------------------------------------------------------

void NetLib::deliver(const std::shared_ptr<Link>& link, int32_t code, uintptr_t data) {
    Connection* connection = find(link->object);
    // Only events of the connection's current link, and none after Close.
    if (!connection || connection->link != link || link->closedByPlugin) return;
    NetEventRecord record{};
    record.size = sizeof record;
    record.code = code;
    record.connection = link->object;
    connection->handler(reinterpret_cast<uintptr_t>(&record), data, connection->context);
}

void NetLib::postEvent(const std::shared_ptr<Link>& link, int32_t code) {
    calls_.post([this, link, code] { deliver(link, code, 0); });
}

void NetLib::postData(const std::shared_ptr<Link>& link, std::string bytes) {
    const bool encrypted = link->tls != nullptr;
    calls_.post([this, link, encrypted, bytes = std::move(bytes)] {
        // Plain bytes that arrived before TLS began are never handed over
        // once it has begun: they could be injected ahead of the handshake.
        if (!encrypted && link->tls) return;
        NetDataEvent event{};
        event.size = sizeof event;
        event.count = static_cast<int32_t>(bytes.size());
        event.bytes = bytes.c_str();  // a NUL follows the bytes
        deliver(link, postrix::kNetData, reinterpret_cast<uintptr_t>(&event));
    });
}

void NetLib::postTlsResult(const std::shared_ptr<Link>& link, bool ok, int32_t code, const std::string& text) {
    calls_.post([this, link, ok, code, text = toUtf16(text)] {
        NetTlsEvent event{};
        event.size = sizeof event;
        event.status = ok ? 1 : 0;
        event.errorCode = code;
        event.errorText = ok ? nullptr : text.c_str();
        deliver(link, postrix::kNetTlsResult, reinterpret_cast<uintptr_t>(&event));
    });
}

void NetLib::postError(const std::shared_ptr<Link>& link, int32_t code) {
    calls_.post([this, link, code] {
        deliver(link, postrix::kNetError, static_cast<uintptr_t>(static_cast<uint32_t>(code)));
    });
}

}  // namespace joxhost

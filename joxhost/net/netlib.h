// "NetLib/Create", "Connect", "Send", "InitSSL", "Close", "Destroy": TCP
// connections with TLS for the plug-in. Events reach the plug-in's handler
// through the loop; "NetLib/Send" writes before it returns.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "core/plugin_calls.h"
#include "core/reporter.h"
#include "core/service_registry.h"
#include "net/tls_context.h"

namespace postrix {
struct NetConnection;
}

namespace joxhost {

struct NetLibOptions {
    std::string caFile;
    // joxhost-tls.so; empty: the one beside the executable.
    std::filesystem::path tlsModule;
    std::chrono::milliseconds connectTimeLimit{15000};
    std::chrono::milliseconds sendTimeLimit{30000};
};

class NetLib {
public:
    NetLib(PluginCalls& calls, Reporter& reporter, NetLibOptions options);
    ~NetLib();

    void install(ServiceRegistry& services);

    int64_t create(const void* record);
    int64_t connect(const void* record);
    int64_t send(const void* record);
    int64_t initSsl(postrix::NetConnection* object, uintptr_t flags);
    int64_t close(postrix::NetConnection* object);
    int64_t destroy(postrix::NetConnection* object);

    // Connections started by "NetLib/Connect" so far.
    int connectCount() const { return connectCount_; }

    struct Link;
    struct Connection;

private:
    Connection* find(postrix::NetConnection* object);
    void onResolved(const std::shared_ptr<Link>& link, const asio::ip::tcp::resolver::results_type& results);
    void onConnected(const std::shared_ptr<Link>& link);
    // The context every TLS connection starts from, made on first use; null,
    // with the reason in tlsProblem_, when the TLS module or the --ca-file
    // cannot be loaded.
    const TlsContext* tlsContext();
    void startReading(const std::shared_ptr<Link>& link);
    void onRead(const std::shared_ptr<Link>& link, const std::error_code& error, size_t count);
    void stepHandshake(const std::shared_ptr<Link>& link);
    void readTls(const std::shared_ptr<Link>& link);
    bool writeRaw(Link& link, std::string_view bytes);
    bool flushTls(Link& link);
    void shutDown(Link& link);

    // One place where a link ends from the network's side.
    void failLink(const std::shared_ptr<Link>& link, int32_t winsockCode);
    void failHandshake(const std::shared_ptr<Link>& link, int32_t code, const std::string& text);
    void peerClosed(const std::shared_ptr<Link>& link);

    // Event delivery, posted to the loop.
    void postEvent(const std::shared_ptr<Link>& link, int32_t code);
    void postData(const std::shared_ptr<Link>& link, std::string bytes);
    void postTlsResult(const std::shared_ptr<Link>& link, bool ok, int32_t code, const std::string& text);
    void postError(const std::shared_ptr<Link>& link, int32_t code);
    void deliver(const std::shared_ptr<Link>& link, int32_t code, uintptr_t data);

    void report(const Link& link, const char* what, Event event);
    void reportSent(const Link& link, std::string_view bytes);

    PluginCalls& calls_;
    Reporter& reporter_;
    NetLibOptions options_;
    std::unique_ptr<TlsContext> tls_;
    std::string tlsProblem_;
    std::map<postrix::NetConnection*, std::unique_ptr<Connection>> connections_;
    int connectCount_ = 0;
};

}  // namespace joxhost

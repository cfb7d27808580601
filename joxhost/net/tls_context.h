// The client TLS configuration every connection shares: TLS 1.2 or newer,
// the peer verified against the system trust store plus an optional CA file.
//
// OpenSSL is not linked into joxhost: it lives in joxhost-tls.so beside the
// executable, loaded when the first context is made. Mapping and relocating
// libssl and libcrypto takes a few ms, which at startup would hold back
// every command, and a check's first connection most of all; made after that
// connection's connect, it overlaps the TCP handshake and the server's own
// start. The module is built with joxhost and is used through C++ (virtual
// calls, std::string), so both must come from the same build.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "net/tls_channel.h"

namespace joxhost {

class TlsContext {
public:
    virtual ~TlsContext() = default;

    // A channel that sets SNI (for a host name) and the name or address the
    // certificate must carry. Null with a reason on failure.
    virtual std::unique_ptr<TlsChannel> open(const std::string& host, std::string* error) const = 0;
};

// What joxhost-tls.so exports under kMakeTlsContextSymbol: fills `context`,
// or `error` when the CA file cannot be used.
using MakeTlsContext = void(const std::string& caFile, std::unique_ptr<TlsContext>& context,
                            std::string& error);
inline constexpr const char* kMakeTlsContextSymbol = "joxhostMakeTlsContext";

// joxhost-tls.so beside the running executable.
std::filesystem::path defaultTlsModule();

// Loads the module (once; it stays loaded) and makes a context from it.
// Null with a reason when the module cannot be loaded or the CA file used.
std::unique_ptr<TlsContext> makeTlsContext(const std::filesystem::path& module, const std::string& caFile,
                                           std::string* error);

}  // namespace joxhost

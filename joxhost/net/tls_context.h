// The client TLS configuration every connection shares: TLS 1.2 or newer,
// the peer verified against the system trust store plus an optional CA file.
#pragma once

#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

namespace joxhost {

class TlsContext {
public:
    // Null with a reason when the CA file cannot be used.
    static std::unique_ptr<TlsContext> create(const std::string& caFile, std::string* error);
    ~TlsContext();

    SSL_CTX* get() const { return ctx_; }

private:
    explicit TlsContext(SSL_CTX* ctx) : ctx_(ctx) {}
    SSL_CTX* ctx_;
};

// OpenSSL's text of the most recent error on this thread (and clears them).
std::string takeOpenSslError(int* reasonCode = nullptr);

}  // namespace joxhost

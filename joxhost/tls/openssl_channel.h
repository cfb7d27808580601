// joxhost-tls.so: the TLS context and channel over OpenSSL.
#pragma once

#include <memory>
#include <string>

#include "net/tls_channel.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace joxhost {

class OpenSslChannel final : public TlsChannel {
public:
    // Null with a reason on failure.
    static std::unique_ptr<TlsChannel> create(SSL_CTX* ctx, const std::string& host, std::string* error);
    ~OpenSslChannel() override;
    OpenSslChannel(const OpenSslChannel&) = delete;
    OpenSslChannel& operator=(const OpenSslChannel&) = delete;

    Result handshake() override;
    bool established() const override { return established_; }
    void feed(const char* data, size_t count) override;
    Result readPlain(std::string& out) override;
    bool writePlain(const char* data, size_t count) override;
    void shutdown() override;
    std::string takeOutput() override;
    int errorCode() const override { return errorCode_; }
    const std::string& errorText() const override { return errorText_; }

private:
    OpenSslChannel() = default;
    Result fail(int sslError);

    SSL* ssl_ = nullptr;
    bool established_ = false;
    int errorCode_ = 0;
    std::string errorText_;
};

// OpenSSL's text of the most recent error on this thread (and clears them).
std::string takeOpenSslError(int* reasonCode = nullptr);

}  // namespace joxhost

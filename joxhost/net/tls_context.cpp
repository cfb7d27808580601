#include "net/tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace joxhost {

std::string takeOpenSslError(int* reasonCode) {
    const unsigned long code = ERR_peek_last_error();
    if (reasonCode) *reasonCode = code ? ERR_GET_REASON(code) : 0;
    std::string text;
    if (code) {
        const char* reason = ERR_reason_error_string(code);
        text = reason ? reason : "error " + std::to_string(code);
    }
    ERR_clear_error();
    return text;
}

std::unique_ptr<TlsContext> TlsContext::create(const std::string& caFile, std::string* error) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        if (error) *error = "cannot create a TLS context: " + takeOpenSslError();
        return nullptr;
    }
    std::unique_ptr<TlsContext> context(new TlsContext(ctx));
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        if (error) *error = "cannot load CA file " + caFile + ": " + takeOpenSslError();
        return nullptr;
    }
    ERR_clear_error();
    return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

}  // namespace joxhost

// joxhost-tls.so's entry: the client context over OpenSSL.
#include "net/tls_context.h"

#include "tls/openssl_channel.h"

#include <cstdlib>
#include <type_traits>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

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

namespace {

// The system's trust store is its hashed directory (SSL_CERT_DIR, else
// OpenSSL's default), read one certificate at a time as chains need them,
// and its bundle file (SSL_CERT_FILE, else the default), which OpenSSL can
// only parse whole: about 140 certificates and 30 ms of CPU, more than the
// rest of a mail check costs. So the bundle is read the first time an issuer
// is found neither in the store (the --ca-file among it) nor in the
// directory: a server signed by the --ca-file never pays for it, and every
// server is still verified against the same certificates as before.
int bundleLoadedIndex() {
    static const int index = X509_STORE_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int issuerFromStoreOrBundle(X509** issuer, X509_STORE_CTX* verification, X509* certificate) {
    const int found = X509_STORE_CTX_get1_issuer(issuer, verification, certificate);
    if (found != 0) return found;
    X509_STORE* store = X509_STORE_CTX_get0_store(verification);
    if (X509_STORE_get_ex_data(store, bundleLoadedIndex()) != nullptr) return found;
    X509_STORE_set_ex_data(store, bundleLoadedIndex(), store);
    const char* bundle = std::getenv(X509_get_default_cert_file_env());
    if (X509_STORE_load_file(store, bundle != nullptr ? bundle : X509_get_default_cert_file()) != 1) {
        ERR_clear_error();  // no bundle: the directory was all there is
        return found;
    }
    return X509_STORE_CTX_get1_issuer(issuer, verification, certificate);
}

void trustTheSystemStore(SSL_CTX* ctx) {
    X509_STORE* store = SSL_CTX_get_cert_store(ctx);
    const char* directory = std::getenv(X509_get_default_cert_dir_env());
    X509_STORE_load_path(store, directory != nullptr ? directory : X509_get_default_cert_dir());
    X509_STORE_set_get_issuer(store, issuerFromStoreOrBundle);
    ERR_clear_error();
}

class OpenSslContext final : public TlsContext {
public:
    explicit OpenSslContext(SSL_CTX* ctx) : ctx_(ctx) {}
    ~OpenSslContext() override { SSL_CTX_free(ctx_); }
    OpenSslContext(const OpenSslContext&) = delete;
    OpenSslContext& operator=(const OpenSslContext&) = delete;

    std::unique_ptr<TlsChannel> open(const std::string& host, std::string* error) const override {
        return OpenSslChannel::create(ctx_, host, error);
    }

private:
    SSL_CTX* ctx_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) void joxhostMakeTlsContext(
    const std::string& caFile, std::unique_ptr<TlsContext>& context, std::string& error) {
    static_assert(std::is_same_v<decltype(joxhostMakeTlsContext), MakeTlsContext>);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        error = "cannot create a TLS context: " + takeOpenSslError();
        return;
    }
    auto made = std::make_unique<OpenSslContext>(ctx);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    trustTheSystemStore(ctx);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        error = "cannot load CA file " + caFile + ": " + takeOpenSslError();
        return;
    }
    ERR_clear_error();
    context = std::move(made);
}

}  // namespace joxhost

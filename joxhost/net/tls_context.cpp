#include "net/tls_context.h"

#include <cstdlib>

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

}  // namespace

std::unique_ptr<TlsContext> TlsContext::create(const std::string& caFile, std::string* error) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        if (error) *error = "cannot create a TLS context: " + takeOpenSslError();
        return nullptr;
    }
    std::unique_ptr<TlsContext> context(new TlsContext(ctx));
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    trustTheSystemStore(ctx);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        if (error) *error = "cannot load CA file " + caFile + ": " + takeOpenSslError();
        return nullptr;
    }
    ERR_clear_error();
    return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

}  // namespace joxhost

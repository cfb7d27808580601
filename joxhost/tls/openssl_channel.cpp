#include "tls/openssl_channel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace joxhost {
namespace {

bool isIpAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

std::unique_ptr<TlsChannel> OpenSslChannel::create(SSL_CTX* ctx, const std::string& host,
                                                   std::string* error) {
    std::unique_ptr<OpenSslChannel> channel(new OpenSslChannel());
    channel->ssl_ = ctx ? SSL_new(ctx) : nullptr;
    BIO* input = BIO_new(BIO_s_mem());
    BIO* output = BIO_new(BIO_s_mem());
    if (!channel->ssl_ || !input || !output) {
        BIO_free(input);
        BIO_free(output);
        if (error) *error = "cannot create a TLS session: " + takeOpenSslError();
        return nullptr;
    }
    SSL_set_bio(channel->ssl_, input, output);
    SSL_set_connect_state(channel->ssl_);
    bool named = false;
    if (isIpAddress(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(channel->ssl_), host.c_str()) == 1;
    } else {
        named = SSL_set_tlsext_host_name(channel->ssl_, host.c_str()) == 1 &&
                SSL_set1_host(channel->ssl_, host.c_str()) == 1;
    }
    if (!named) {
        if (error) *error = "cannot set the TLS peer name " + host + ": " + takeOpenSslError();
        return nullptr;
    }
    return channel;
}

OpenSslChannel::~OpenSslChannel() {
    SSL_free(ssl_);
}

TlsChannel::Result OpenSslChannel::fail(int sslError) {
    int reason = 0;
    std::string text = takeOpenSslError(&reason);
    const long verify = SSL_get_verify_result(ssl_);
    if (verify != X509_V_OK) {
        text += (text.empty() ? "" : ": ") + std::string(X509_verify_cert_error_string(verify));
    }
    if (text.empty()) text = "TLS failure (SSL error " + std::to_string(sslError) + ")";
    errorCode_ = reason ? reason : sslError;
    errorText_ = text;
    return Result::Failed;
}

TlsChannel::Result OpenSslChannel::handshake() {
    if (established_) return Result::Done;
    ERR_clear_error();
    const int rc = SSL_do_handshake(ssl_);
    if (rc == 1) {
        established_ = true;
        return Result::Done;
    }
    const int error = SSL_get_error(ssl_, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return Result::NeedInput;
    return fail(error);
}

void OpenSslChannel::feed(const char* data, size_t count) {
    BIO_write(SSL_get_rbio(ssl_), data, static_cast<int>(count));
}

TlsChannel::Result OpenSslChannel::readPlain(std::string& out) {
    char buffer[16384];
    for (;;) {
        ERR_clear_error();
        const int n = SSL_read(ssl_, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            continue;
        }
        const int error = SSL_get_error(ssl_, n);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return Result::NeedInput;
        if (error == SSL_ERROR_ZERO_RETURN) return Result::Closed;
        return fail(error);
    }
}

bool OpenSslChannel::writePlain(const char* data, size_t count) {
    while (count > 0) {
        ERR_clear_error();
        const int n = SSL_write(ssl_, data, static_cast<int>(std::min<size_t>(count, 1 << 20)));
        if (n <= 0) {
            fail(SSL_get_error(ssl_, n));
            return false;
        }
        data += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

void OpenSslChannel::shutdown() {
    if (established_) SSL_shutdown(ssl_);
    ERR_clear_error();
}

std::string OpenSslChannel::takeOutput() {
    BIO* output = SSL_get_wbio(ssl_);
    std::string bytes(static_cast<size_t>(BIO_ctrl_pending(output)), '\0');
    if (!bytes.empty()) {
        const int n = BIO_read(output, bytes.data(), static_cast<int>(bytes.size()));
        bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
    return bytes;
}

}  // namespace joxhost

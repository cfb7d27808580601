// A TLS client over memory buffers: the caller moves the encrypted bytes
// between the channel and the socket, so the socket stays the caller's
// (asynchronous reads, bounded blocking writes).
#pragma once

#include <memory>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace joxhost {

class TlsChannel {
public:
    enum class Result { Done, NeedInput, Closed, Failed };

    // Sets SNI (for a host name) and the name or address the certificate must
    // carry. Null with a reason on failure.
    static std::unique_ptr<TlsChannel> create(SSL_CTX* ctx, const std::string& host, std::string* error);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Advances the handshake with the input fed so far.
    Result handshake();
    bool established() const { return established_; }

    // Encrypted bytes from the peer.
    void feed(const char* data, size_t count);
    // Appends the plain text the fed bytes decrypt to.
    Result readPlain(std::string& out);
    // Encrypts plain text; the result waits in takeOutput().
    bool writePlain(const char* data, size_t count);
    // Queues the close alert.
    void shutdown();

    // Encrypted bytes to send to the peer (and forgets them).
    std::string takeOutput();

    // Why the last Failed: OpenSSL's reason code and text (certificate
    // problems name the verification failure).
    int errorCode() const { return errorCode_; }
    const std::string& errorText() const { return errorText_; }

private:
    TlsChannel() = default;
    Result fail(int sslError);

    SSL* ssl_ = nullptr;
    bool established_ = false;
    int errorCode_ = 0;
    std::string errorText_;
};

}  // namespace joxhost

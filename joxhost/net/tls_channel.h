// A TLS client over memory buffers: the caller moves the encrypted bytes
// between the channel and the socket, so the socket stays the caller's
// (asynchronous reads, bounded blocking writes). Made by a TlsContext.
#pragma once

#include <cstddef>
#include <string>

namespace joxhost {

class TlsChannel {
public:
    enum class Result { Done, NeedInput, Closed, Failed };

    virtual ~TlsChannel() = default;

    // Advances the handshake with the input fed so far.
    virtual Result handshake() = 0;
    virtual bool established() const = 0;

    // Encrypted bytes from the peer.
    virtual void feed(const char* data, size_t count) = 0;
    // Appends the plain text the fed bytes decrypt to.
    virtual Result readPlain(std::string& out) = 0;
    // Encrypts plain text; the result waits in takeOutput().
    virtual bool writePlain(const char* data, size_t count) = 0;
    // Queues the close alert.
    virtual void shutdown() = 0;

    // Encrypted bytes to send to the peer (and forgets them).
    virtual std::string takeOutput() = 0;

    // Why the last Failed: OpenSSL's reason code and text (certificate
    // problems name the verification failure).
    virtual int errorCode() const = 0;
    virtual const std::string& errorText() const = 0;
};

}  // namespace joxhost

#include "net/winsock_errors.h"

#include <asio.hpp>
#include <optional>
#include <cerrno>
#include <cctype>
#include <charconv>

namespace joxhost::winsock {

int32_t fromError(const std::error_code& error) {
    if (error == asio::error::host_not_found) return kHostNotFound;
    if (error == asio::error::host_not_found_try_again) return kTryAgain;
    if (error == asio::error::no_recovery) return kNoRecovery;
    if (error == asio::error::no_data) return kNoData;
    if (error == asio::error::service_not_found) return kHostNotFound;
    if (error.category() != asio::error::get_system_category() && error.category() != std::system_category() &&
        error.category() != std::generic_category()) {
        return kSystemCallFailure;
    }
    switch (error.value()) {
        case ECONNREFUSED: return kConnectionRefused;
        case ETIMEDOUT: return kTimedOut;
        case ECONNRESET: return kConnectionReset;
        case EPIPE: return kConnectionReset;
        case ECONNABORTED: return kConnectionAborted;
        case ENETUNREACH: return kNetworkUnreachable;
        case ENETDOWN: return kNetworkDown;
        case EHOSTUNREACH: return kHostUnreachable;
        case EHOSTDOWN: return kHostUnreachable;
        case EADDRNOTAVAIL: return kAddressNotAvailable;
        case ENOTCONN: return kNotConnected;
        case EISCONN: return kAlreadyConnected;
        case ENOBUFS: return kNoBuffers;
        case ENOMEM: return kNoBuffers;
        case EINVAL: return kInvalidArgument;
        case EBADF: return kNotSocket;
        case ENOTSOCK: return kNotSocket;
        case EINTR: return kInterrupted;
        default: return kSystemCallFailure;
    }
}

std::string_view meaning(int64_t code) {
    switch (code) {
        case kInterrupted: return "interrupted";
        case kInvalidArgument: return "invalid argument";
        case kNotSocket: return "not a socket";
        case kAddressNotAvailable: return "address not available";
        case kNetworkDown: return "network is down";
        case kNetworkUnreachable: return "network unreachable";
        case kConnectionAborted: return "connection aborted";
        case kConnectionReset: return "connection reset";
        case kNoBuffers: return "out of buffer space";
        case kAlreadyConnected: return "already connected";
        case kNotConnected: return "not connected";
        case kTimedOut: return "connection timed out";
        case kConnectionRefused: return "connection refused";
        case kHostUnreachable: return "host unreachable";
        case kSystemCallFailure: return "system call failed";
        case kHostNotFound: return "host not found";
        case kTryAgain: return "host not found, try again";
        case kNoRecovery: return "name server failure";
        case kNoData: return "no address for the name";
        default: return "";
    }
}

namespace {

bool lowerStartsWith(std::string_view text, size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    }
    return true;
}

// The number at pos (decimal, or hexadecimal after "0x"); end is set past it.
std::optional<int64_t> numberAt(std::string_view text, size_t pos, size_t& end) {
    int base = 10;
    if (text.substr(pos, 2) == "0x" || text.substr(pos, 2) == "0X") {
        base = 16;
        pos += 2;
    }
    int64_t value = 0;
    const char* first = text.data() + pos;
    const auto [last, ec] = std::from_chars(first, text.data() + text.size(), value, base);
    if (ec != std::errc() || last == first) return std::nullopt;
    end = static_cast<size_t>(last - text.data());
    return value;
}

}  // namespace

std::string withMeanings(std::string_view text) {
    std::string out;
    size_t copied = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t pos = 0;
        if (lowerStartsWith(text, i, "error:")) {
            pos = i + 6;
        } else if (lowerStartsWith(text, i, "err=")) {
            pos = i + 4;
        } else {
            continue;
        }
        while (pos < text.size() && text[pos] == ' ') ++pos;
        size_t end = 0;
        const auto code = numberAt(text, pos, end);
        if (!code || meaning(*code).empty()) continue;
        // A number that runs on into a word is some other token.
        if (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) continue;
        out.append(text.substr(copied, end - copied));
        out += " (";
        out += meaning(*code);
        out += ')';
        copied = end;
        i = end - 1;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace joxhost::winsock

#include "net/winsock_errors.h"

#include <asio.hpp>
#include <cerrno>

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

}  // namespace joxhost::winsock

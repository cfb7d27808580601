// Connection errors as Winsock numbers, so the plug-in's messages read the
// same on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace joxhost::winsock {

inline constexpr int32_t kInterrupted = 10004;
inline constexpr int32_t kInvalidArgument = 10022;
inline constexpr int32_t kNotSocket = 10038;
inline constexpr int32_t kAddressNotAvailable = 10049;
inline constexpr int32_t kNetworkDown = 10050;
inline constexpr int32_t kNetworkUnreachable = 10051;
inline constexpr int32_t kConnectionAborted = 10053;
inline constexpr int32_t kConnectionReset = 10054;
inline constexpr int32_t kNoBuffers = 10055;
inline constexpr int32_t kAlreadyConnected = 10056;
inline constexpr int32_t kNotConnected = 10057;
inline constexpr int32_t kTimedOut = 10060;
inline constexpr int32_t kConnectionRefused = 10061;
inline constexpr int32_t kHostUnreachable = 10065;
inline constexpr int32_t kSystemCallFailure = 10107;
inline constexpr int32_t kHostNotFound = 11001;
inline constexpr int32_t kTryAgain = 11002;
inline constexpr int32_t kNoRecovery = 11003;
inline constexpr int32_t kNoData = 11004;

// The Winsock number of a socket or resolver error.
int32_t fromError(const std::error_code& error);

// What a Winsock number means, in a few words ("connection refused"); ""
// for a number joxhost does not use.
std::string_view meaning(int64_t code);

// The text with the meaning of each Winsock number it reports added in
// parentheses: "Connection error:10061" becomes "Connection error:10061
// (connection refused)", "err=0x2AF9" becomes "err=0x2AF9 (host not
// found)". Numbers count only right after "error:" or "err=" (blanks
// between allowed), so other numbers in a text stay as they are.
std::string withMeanings(std::string_view text);

}  // namespace joxhost::winsock

// The reachability probe on POSIX: one ICMP echo to a host, or, where the
// process may send no ICMP at all, a TCP connection attempt to its port 443.
#pragma once

#include <string>

namespace postrix::platform::posix {

// Names the host to probe instead of the public default (tests set it to
// 127.0.0.1 so that no traffic leaves the machine).
inline constexpr const char* kProbeHostVariable = "POSTRIX_PROBE_HOST";
// A stable public host that answers echo requests.
inline constexpr const char* kDefaultProbeHost = "one.one.one.one";
inline constexpr int kProbeTimeoutMs = 3000;

enum class ProbeOutcome {
    Reachable = 0,
    Unreachable = 1,
    // Neither ICMP nor a TCP connection may be attempted by this process.
    NotPermitted = 2,
};

// Resolves hostName (IPv4) and probes it, waiting at most timeoutMs after
// the name is resolved.
ProbeOutcome probeHost(const std::string& hostName, int timeoutMs);

// The host named by kProbeHostVariable when it is set and not empty, else
// kDefaultProbeHost.
std::string probeHostName();

}  // namespace postrix::platform::posix

#include "platform/posix/echo_probe.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace postrix::platform::posix {

namespace {

constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kEchoReply = 0;
constexpr size_t kEchoHeaderSize = 8;
constexpr std::array<uint8_t, 5> kPayload{'p', 'i', 'n', 'g', 0};
constexpr uint16_t kFallbackPort = 443;

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }

private:
    int fd_;
};

bool isPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class Deadline {
public:
    explicit Deadline(int timeoutMs) : end_(monotonicMs() + timeoutMs) {}
    int remainingMs() const {
        const int64_t left = end_ - monotonicMs();
        return left > 0 ? int(left) : 0;
    }

private:
    int64_t end_;
};

// Waits for events on fd until the deadline. Returns the revents, or 0 when
// the time ran out.
short waitFor(int fd, short events, const Deadline& deadline) {
    for (;;) {
        const int left = deadline.remainingMs();
        if (left == 0) return 0;
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, left);
        if (ready > 0) return entry.revents;
        if (ready == 0) return 0;
        if (errno != EINTR) return POLLERR;
    }
}

std::optional<sockaddr_in> resolveIpv4(const std::string& hostName) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(list, &freeaddrinfo);
    if (list->ai_family != AF_INET || list->ai_addrlen < sizeof(sockaddr_in)) return std::nullopt;
    sockaddr_in address{};
    std::memcpy(&address, list->ai_addr, sizeof address);
    const uint32_t value = ntohl(address.sin_addr.s_addr);
    if (value == 0 || value == 0xFFFFFFFFu) return std::nullopt;
    return address;
}

uint16_t internetChecksum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2) sum += uint32_t(data[i] << 8 | data[i + 1]);
    if (size % 2 != 0) sum += uint32_t(data[size - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

struct EchoIdentity {
    uint16_t id;
    uint16_t sequence;
};

EchoIdentity nextIdentity() {
    static uint16_t sequence = 0;
    return {uint16_t(getpid() & 0xFFFF), ++sequence};
}

std::array<uint8_t, kEchoHeaderSize + kPayload.size()> echoRequest(EchoIdentity identity) {
    std::array<uint8_t, kEchoHeaderSize + kPayload.size()> packet{};
    packet[0] = kEchoRequest;
    packet[4] = uint8_t(identity.id >> 8);
    packet[5] = uint8_t(identity.id);
    packet[6] = uint8_t(identity.sequence >> 8);
    packet[7] = uint8_t(identity.sequence);
    std::memcpy(packet.data() + kEchoHeaderSize, kPayload.data(), kPayload.size());
    const uint16_t checksum = internetChecksum(packet.data(), packet.size());
    packet[2] = uint8_t(checksum >> 8);
    packet[3] = uint8_t(checksum);
    return packet;
}

// Whether message (an ICMP message without IP header) is the reply to our
// request. A datagram ICMP socket gets only its own replies but the kernel
// chose the id, so the id is checked on raw sockets only.
bool isOurReply(const uint8_t* message, size_t size, EchoIdentity identity, bool checkId) {
    if (size < kEchoHeaderSize + kPayload.size()) return false;
    if (message[0] != kEchoReply || message[1] != 0) return false;
    const uint16_t id = uint16_t(message[4] << 8 | message[5]);
    const uint16_t sequence = uint16_t(message[6] << 8 | message[7]);
    if (checkId && id != identity.id) return false;
    return sequence == identity.sequence &&
           std::memcmp(message + kEchoHeaderSize, kPayload.data(), kPayload.size()) == 0;
}

enum class EchoResult { Reply, NoReply, NotPermitted };

// Waits for the reply to our echo on fd. A raw socket delivers every ICMP
// message of the machine with its IP header, including, on the loopback,
// our own request; only a reply from the target with our id counts.
EchoResult awaitReply(int fd, bool raw, const sockaddr_in& target, EchoIdentity identity,
                      const Deadline& deadline) {
    std::array<uint8_t, 1500> buffer{};
    for (;;) {
        const short events = waitFor(fd, POLLIN, deadline);
        if (events == 0) return EchoResult::NoReply;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return EchoResult::NoReply;  // an ICMP error for our request
        }
        const uint8_t* message = buffer.data();
        size_t size = size_t(got);
        if (raw) {
            if (from.sin_addr.s_addr != target.sin_addr.s_addr || size < 20) continue;
            const size_t headerSize = size_t(buffer[0] & 0x0F) * 4;
            if (headerSize < 20 || headerSize > size) continue;
            message += headerSize;
            size -= headerSize;
        }
        if (isOurReply(message, size, identity, raw)) return EchoResult::Reply;
    }
}

// An unprivileged ICMP datagram socket where the system allows one, else a
// raw socket; -1 when neither may be opened.
int openIcmpSocket(bool& raw) {
    raw = false;
    const int datagram = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (datagram >= 0) return datagram;
    raw = true;
    return socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
}

EchoResult sendEcho(const sockaddr_in& target, const Deadline& deadline) {
    bool raw = false;
    const Socket icmp(openIcmpSocket(raw));
    if (!icmp.valid()) return EchoResult::NotPermitted;
    const EchoIdentity identity = nextIdentity();
    const auto packet = echoRequest(identity);
    if (sendto(icmp.get(), packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target),
               sizeof target) < 0) {
        return isPermissionError(errno) ? EchoResult::NotPermitted : EchoResult::NoReply;
    }
    return awaitReply(icmp.get(), raw, target, identity, deadline);
}

// A TCP connection attempt to port 443. Refusal counts as reachable: the
// host itself answered.
ProbeOutcome connectProbe(sockaddr_in target, const Deadline& deadline) {
    Socket tcp(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!tcp.valid()) return isPermissionError(errno) ? ProbeOutcome::NotPermitted : ProbeOutcome::Unreachable;
    target.sin_port = htons(kFallbackPort);
    int error = 0;
    if (connect(tcp.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            if (waitFor(tcp.get(), POLLOUT, deadline) == 0) return ProbeOutcome::Unreachable;
            socklen_t size = sizeof error;
            if (getsockopt(tcp.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        }
    }
    if (error == 0 || error == ECONNREFUSED) return ProbeOutcome::Reachable;
    return isPermissionError(error) ? ProbeOutcome::NotPermitted : ProbeOutcome::Unreachable;
}

}  // namespace

ProbeOutcome probeHost(const std::string& hostName, int timeoutMs) {
    const auto target = resolveIpv4(hostName);
    if (!target) return ProbeOutcome::Unreachable;
    const Deadline deadline(timeoutMs);
    switch (sendEcho(*target, deadline)) {
    case EchoResult::Reply: return ProbeOutcome::Reachable;
    case EchoResult::NoReply: return ProbeOutcome::Unreachable;
    case EchoResult::NotPermitted: break;
    }
    return connectProbe(*target, deadline);
}

std::string probeHostName() {
    const char* configured = std::getenv(kProbeHostVariable);
    return configured != nullptr && configured[0] != '\0' ? configured : kDefaultProbeHost;
}

}  // namespace postrix::platform::posix

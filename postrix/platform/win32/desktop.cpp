// Desktop services on Windows: a message box, the shell's default handler
// for addresses, and the ICMP echo of the IP helper for the reachability
// probe.
#include "platform/desktop.h"

#include "platform/codecs.h"
#include "platform/win32/windows_api.h"

#include <shellapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace postrix::platform {

namespace {

// Names the host to probe instead of the public default (tests set it to
// 127.0.0.1 so that no traffic leaves the machine).
constexpr const char* kProbeHostVariable = "POSTRIX_PROBE_HOST";
// A stable public host that answers echo requests.
constexpr const char* kDefaultProbeHost = "one.one.one.one";
constexpr DWORD kProbeTimeoutMs = 3000;

std::wstring wideFromUtf8(std::string_view text) {
    return win32::toWide(codePageBytesToWide(text, kCodePageUtf8));
}

std::string probeHostName() {
    const char* configured = std::getenv(kProbeHostVariable);
    return configured != nullptr && configured[0] != '\0' ? configured : kDefaultProbeHost;
}

class WinsockSession {
public:
    WinsockSession() {
        WSADATA data{};
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (started_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    bool started() const { return started_; }

private:
    bool started_ = false;
};

// The first IPv4 address of hostName, in network byte order.
std::optional<IPAddr> resolveIpv4(const std::string& hostName) {
    const WinsockSession winsock;
    if (!winsock.started()) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
    std::optional<IPAddr> address;
    if (list->ai_family == AF_INET && list->ai_addrlen >= sizeof(sockaddr_in)) {
        address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    }
    freeaddrinfo(list);
    if (address && (*address == 0 || *address == 0xFFFFFFFFu)) return std::nullopt;
    return address;
}

class IcmpHandle {
public:
    IcmpHandle() : handle_(IcmpCreateFile()) {}
    ~IcmpHandle() {
        if (valid()) IcmpCloseHandle(handle_);
    }
    IcmpHandle(const IcmpHandle&) = delete;
    IcmpHandle& operator=(const IcmpHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

void showErrorBox(std::string_view title, std::string_view text) {
    const std::wstring wideTitle = wideFromUtf8(title);
    const std::wstring wideText = wideFromUtf8(text);
    if (MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL) != 0) return;
    // No box could be shown (no interactive desktop): the text goes to stderr.
    std::string message(title.substr(0, title.find('\0')));
    message.append(": ");
    message.append(text.substr(0, text.find('\0')));
    message.push_back('\n');
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
}

void openAddress(std::string_view address) {
    const std::wstring wide = wideFromUtf8(address);
    if (wide.empty()) return;
    ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool probeReachability() {
    const auto target = resolveIpv4(probeHostName());
    if (!target) return false;
    const IcmpHandle icmp;
    if (!icmp.valid()) return false;
    std::array<char, 5> payload{'p', 'i', 'n', 'g', 0};
    // Room for one reply with its data, and for the status block the
    // documentation asks for on top.
    std::vector<unsigned char> replies(sizeof(ICMP_ECHO_REPLY) + payload.size() + 8 + 16);
    const DWORD count = IcmpSendEcho(icmp.get(), *target, payload.data(), WORD(payload.size()), nullptr,
                                     replies.data(), DWORD(replies.size()), kProbeTimeoutMs);
    if (count == 0) return false;
    const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(replies.data());
    return reply->Status == IP_SUCCESS && reply->Address == *target;
}

}  // namespace postrix::platform

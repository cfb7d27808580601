// A minimal in-process host for the session fuzz targets: one HostTable that
// answers the services a mail session uses, plays one connection object,
// reads every text and byte range the plug-in hands over (so the sanitizers
// see a bad pointer or a missing terminator) and counts what happened. It
// has no GoogleTest and keeps nothing between fuzz inputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "abi/abi.h"
#include "abi/records_netlib.h"
#include "platform/clock.h"

namespace postrix::fuzz {

// Stops the run with a message when an invariant does not hold; libFuzzer
// then keeps the input as a crash.
[[noreturn]] void violated(const char* what, const char* file, int line);
#define FUZZ_CHECK(condition)                                               \
    do {                                                                    \
        if (!(condition)) ::postrix::fuzz::violated(#condition, __FILE__, __LINE__); \
    } while (0)

// A clock the fuzz input moves.
class FuzzClock final : public platform::Clock {
public:
    FuzzClock() { platform::setClock(this); }
    ~FuzzClock() override { platform::setClock(nullptr); }
    FuzzClock(const FuzzClock&) = delete;
    FuzzClock& operator=(const FuzzClock&) = delete;

    uint32_t tickMs() override { return tick; }
    int64_t utcSeconds() override { return 1796666703; }
    std::optional<int> standardBiasMinutes() override { return bias; }

    uint32_t tick = 0;
    std::optional<int> bias = -60;
};

class FuzzHost {
public:
    FuzzHost();
    ~FuzzHost();
    FuzzHost(const FuzzHost&) = delete;
    FuzzHost& operator=(const FuzzHost&) = delete;

    HostTable* table() { return &table_; }

    // --- behaviour the fuzz input chooses ---------------------------------
    bool createFails = false;
    int64_t connectResult = 0;
    int64_t initSslResult = 0;
    int failSendsAfter = -1;  // sends that still succeed; -1 = never fail
    int64_t trafficResult = 0;
    int64_t notifyResult = 0;
    bool newsAvailable = true;

    // Turns one of choices knobs the input picks: the first four are the
    // network's (failing sends, connect, TLS start, traffic report) and are
    // turned here; the number of any other is returned for the caller.
    std::optional<int> turnNetworkKnob(FuzzedDataProvider& in, int choices);

    // --- what the plug-in did -----------------------------------------------
    bool created = false;
    bool destroyed = false;
    bool open = false;  // connected and not closed since
    int connects = 0;
    int closes = 0;
    int sslStarts = 0;
    int sends = 0;  // accepted and refused "NetLib/Send" calls
    std::string lastSent;
    std::string sentSinceConnect;  // every byte accepted since the last connect
    int logs = 0;
    int notices = 0;
    int newsEntries = 0;
    // The callback of the last notice that had one, with its context.
    JoxHandler noticeCallback = nullptr;
    uintptr_t noticeContext = 0;

    // --- connection events to the plug-in ---------------------------------
    void deliverConnected();
    void deliverClosed();
    // The bytes, followed by a NUL as the network service promises.
    void deliverData(std::string_view bytes);
    // A data event whose record is missing or whose count is not positive.
    void deliverOddData(int variant);
    void deliverTls(int32_t status, int32_t errorCode, const char16_t* errorText);
    void deliverError(uint32_t code);
    void deliverUnknown(int32_t code);

    // Calls the last notice's callback with an event of that kind.
    void fireNotice(int32_t kind);

private:
    friend struct FuzzHostThunks;
    int64_t call(std::u16string_view name, uintptr_t w, uintptr_t l);
    int64_t netCall(std::u16string_view name, uintptr_t w, uintptr_t l);
    void deliver(int32_t code, uintptr_t data);

    HostTable table_{};
    NetConnection* object_ = nullptr;
    JoxHandler handler_ = nullptr;
    uintptr_t context_ = 0;
};

// Fuzz bytes read as UTF-16 units, two bytes each (lone surrogates included).
inline std::u16string wideTextFrom(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return text;
}

}  // namespace postrix::fuzz

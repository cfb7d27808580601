#include "fuzz_host.h"

#include <cstdio>
#include <cstdlib>

#include "abi/records_notify.h"
#include "abi/records_plugin.h"

namespace postrix::fuzz {

namespace {

FuzzHost* g_host = nullptr;

// Reads a host text to its NUL; a missing terminator or a bad pointer is
// the sanitizers' to report.
size_t touchText(const char16_t* text) {
    if (!text) return 0;
    size_t n = 0;
    while (text[n] != u'\0') ++n;
    return n;
}

// Reads a byte range the plug-in handed over.
unsigned touchBytes(const char* bytes, int32_t count) {
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(count == 0 || bytes != nullptr);
    unsigned sum = 0;
    for (int32_t i = 0; i < count; ++i) sum += static_cast<unsigned char>(bytes[i]);
    return sum;
}

template <typename Record>
const Record& record(uintptr_t address) {
    FUZZ_CHECK(address != 0);
    const auto& r = *reinterpret_cast<const Record*>(address);
    FUZZ_CHECK(r.size == static_cast<int32_t>(sizeof(Record)));
    return r;
}

}  // namespace

void violated(const char* what, const char* file, int line) {
    std::fprintf(stderr, "invariant violated: %s (%s:%d)\n", what, file, line);
    std::abort();
}

struct FuzzHostThunks {
    static int64_t createService(const char16_t* name, JoxHandler, uintptr_t) { return touchText(name), 1; }
    static int64_t destroyService(int64_t) { return 0; }
    static int64_t callService(const char16_t* name, uintptr_t w, uintptr_t l) {
        FUZZ_CHECK(g_host && name);
        return g_host->call(std::u16string_view(name, touchText(name)), w, l);
    }
    static int64_t serviceExists(const char16_t* name) {
        const std::u16string_view service(name, touchText(name));
        return service == u"News/AddEntry" && g_host->newsAvailable ? 1 : 0;
    }
};

FuzzHost::FuzzHost() {
    FUZZ_CHECK(g_host == nullptr);
    g_host = this;
    table_.createService = FuzzHostThunks::createService;
    table_.destroyService = FuzzHostThunks::destroyService;
    table_.callService = FuzzHostThunks::callService;
    table_.serviceExists = FuzzHostThunks::serviceExists;
}

FuzzHost::~FuzzHost() { g_host = nullptr; }

int64_t FuzzHost::call(std::u16string_view name, uintptr_t w, uintptr_t l) {
    if (name.starts_with(u"NetLib/")) return netCall(name, w, l);
    if (name == u"JOX/CallProtolHooks") {
        const auto& header = record<TrafficHeaderRecord>(w);
        const auto& data = record<TrafficDataRecord>(l);
        FUZZ_CHECK(header.direction == kTrafficReceived || header.direction == kTrafficSent);
        FUZZ_CHECK(header.phase == 1 || header.phase == 2);
        touchText(header.netClass);
        touchBytes(data.bytes, data.count);
        return trafficResult;
    }
    if (name == u"JOX/Log") {
        const auto& r = record<LogRecord>(w);
        touchText(r.source);
        touchText(r.text);
        ++logs;
        return 0;
    }
    if (name == u"JOX/ShowStandardNotify") {
        const auto& r = record<NotifyRecord>(w);
        touchText(r.text);
        touchText(r.title);
        touchText(r.thirdText);
        touchText(r.iconId);
        ++notices;
        if (r.callback) {
            noticeCallback = r.callback;
            noticeContext = r.context;
        }
        return notifyResult;
    }
    if (name == u"News/AddEntry") {
        FUZZ_CHECK(newsAvailable);
        const auto& r = record<NewsEntryRecord>(w);
        touchText(r.firstText);
        touchText(r.sender);
        touchText(r.subject);
        touchText(r.accountAddress);
        touchText(r.iconId);
        ++newsEntries;
        return 0;
    }
    return -1;
}

int64_t FuzzHost::netCall(std::u16string_view name, uintptr_t w, uintptr_t l) {
    if (name == u"NetLib/Create") {
        const auto& r = record<NetCreateRecord>(w);
        FUZZ_CHECK(!created && r.connection && r.handler);
        touchText(r.connection->id);
        if (createFails) return 1;
        created = true;
        object_ = r.connection;
        handler_ = r.handler;
        context_ = r.context;
        return 0;
    }
    if (name == u"NetLib/Connect") {
        const auto& r = record<NetConnectRecord>(w);
        touchText(r.host);
        ++connects;
        if (!created || r.connection != object_) return 10038;
        // A session connects only a connection it is not using.
        FUZZ_CHECK(!open);
        if (connectResult != 0) return connectResult;
        open = true;
        sentSinceConnect.clear();
        return 0;
    }
    if (name == u"NetLib/Send") {
        const auto& r = record<NetSendRecord>(w);
        touchBytes(r.bytes, r.count);
        ++sends;
        lastSent.assign(r.bytes, static_cast<size_t>(r.count));
        if (!created || r.connection != object_) return -1;
        if (failSendsAfter == 0) return -1;
        if (failSendsAfter > 0) --failSendsAfter;
        sentSinceConnect += lastSent;
        return r.count;
    }
    const auto* object = reinterpret_cast<const NetConnection*>(w);
    if (!created || object != object_) return 1;
    if (name == u"NetLib/InitSSL") {
        FUZZ_CHECK(l == kInitSslFlags);
        ++sslStarts;
        return initSslResult;
    }
    if (name == u"NetLib/Close") {
        ++closes;
        open = false;
        return 0;
    }
    if (name == u"NetLib/Destroy") {
        destroyed = true;
        open = false;
        return 0;
    }
    return -1;
}

void FuzzHost::deliver(int32_t code, uintptr_t data) {
    if (!created || destroyed) return;
    NetEventRecord event{};
    event.size = sizeof(NetEventRecord);
    event.code = code;
    event.connection = object_;
    FUZZ_CHECK(handler_(reinterpret_cast<uintptr_t>(&event), data, context_) == 0);
}

void FuzzHost::deliverConnected() { deliver(kNetConnected, 0); }
void FuzzHost::deliverClosed() { deliver(kNetClosed, 0); }

void FuzzHost::deliverData(std::string_view bytes) {
    const std::string copy(bytes);  // heap copy: an overread past the NUL shows
    NetDataEvent data{};
    data.size = sizeof(NetDataEvent);
    data.count = static_cast<int32_t>(copy.size());
    data.bytes = copy.c_str();
    deliver(kNetData, reinterpret_cast<uintptr_t>(&data));
}

void FuzzHost::deliverOddData(int variant) {
    static const char empty[] = "";
    NetDataEvent data{};
    data.size = sizeof(NetDataEvent);
    switch (variant % 3) {
        case 0:
            deliver(kNetData, 0);
            return;
        case 1:
            data.count = 0;
            data.bytes = empty;
            break;
        default:
            data.count = -1;
            data.bytes = empty;
            break;
    }
    deliver(kNetData, reinterpret_cast<uintptr_t>(&data));
}

void FuzzHost::deliverTls(int32_t status, int32_t errorCode, const char16_t* errorText) {
    NetTlsEvent data{};
    data.size = sizeof(NetTlsEvent);
    data.status = status;
    data.errorCode = errorCode;
    data.errorText = errorText;
    deliver(kNetTlsResult, reinterpret_cast<uintptr_t>(&data));
}

void FuzzHost::deliverError(uint32_t code) { deliver(kNetError, static_cast<uintptr_t>(code)); }

void FuzzHost::deliverUnknown(int32_t code) { deliver(code, 0); }

void FuzzHost::fireNotice(int32_t kind) {
    if (!noticeCallback) return;
    NotifyEventRecord event{};
    event.size = sizeof(NotifyEventRecord);
    event.kind = kind;
    noticeCallback(reinterpret_cast<uintptr_t>(&event), 0, noticeContext);
}

std::optional<int> FuzzHost::turnNetworkKnob(FuzzedDataProvider& in, int choices) {
    const int choice = in.ConsumeIntegralInRange(0, choices - 1);
    switch (choice) {
        case 0:
            failSendsAfter = in.ConsumeIntegralInRange(-1, 12);
            return std::nullopt;
        case 1:
            connectResult = in.ConsumeBool() ? 0 : in.ConsumeIntegral<int64_t>();
            return std::nullopt;
        case 2:
            initSslResult = in.ConsumeBool() ? 0 : 1;
            return std::nullopt;
        case 3:
            trafficResult = in.ConsumeIntegralInRange(-1, 1);
            return std::nullopt;
        default:
            return choice;
    }
}

}  // namespace postrix::fuzz

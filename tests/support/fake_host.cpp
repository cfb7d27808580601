#include "support/fake_host.h"

#include <cstring>
#include <stdexcept>

#include "abi/records_accounts.h"
#include "abi/records_notify.h"
#include "abi/records_plugin.h"
#include "abi/records_send.h"

namespace postrix::test {

namespace {

FakeHost* g_current = nullptr;

std::string text(const char16_t* value) { return value ? utf8(value) : std::string(); }

template <typename Record>
const Record& record(uintptr_t address) {
    if (address == 0) throw std::runtime_error("null record");
    return *reinterpret_cast<const Record*>(address);
}

}  // namespace

std::string utf8(std::u16string_view in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Well-formed UTF-8 only: test data is written by the tests themselves.
std::u16string wide(std::string_view in) {
    std::u16string out;
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k <= extra && i + k < in.size(); ++k) c = (c << 6) | (in[i + k] & 0x3F);
        i += 1 + extra;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

struct FakeHostThunks {
    static int64_t createService(const char16_t* name, JoxHandler handler, uintptr_t context) {
        FakeHost& host = *g_current;
        const std::u16string service = name;
        host.calls.push_back(u"createService:" + service);
        if (auto result = host.results_.find(u"createService"); result != host.results_.end())
            return result->second;
        host.services[service] = {handler, context};
        const int64_t handle = host.nextServiceHandle_++;
        host.serviceHandles_[handle] = service;
        return handle;
    }
    static int64_t destroyService(int64_t handle) {
        FakeHost& host = *g_current;
        host.calls.push_back(u"destroyService");
        if (auto found = host.serviceHandles_.find(handle); found != host.serviceHandles_.end()) {
            host.services.erase(found->second);
            host.serviceHandles_.erase(found);
            return 0;
        }
        return 1;
    }
    static int64_t callService(const char16_t* name, uintptr_t w, uintptr_t l) {
        return g_current->serviceCall(name, w, l);
    }
    static int64_t serviceExists(const char16_t* name) {
        const std::u16string service = name;
        return g_current->existingServices.count(service) || g_current->services.count(service) ? 1 : 0;
    }
    static int64_t hookEvent(const char16_t* event, JoxHandler handler, uintptr_t context) {
        FakeHost& host = *g_current;
        host.calls.push_back(u"hookEvent:" + std::u16string(event));
        if (auto result = host.results_.find(u"hookEvent"); result != host.results_.end()) return result->second;
        const int64_t handle = host.nextHook++;
        host.hooks[handle] = {event, {handler, context}};
        return handle;
    }
    static int64_t unhookEvent(int64_t hook) {
        g_current->calls.push_back(u"unhookEvent");
        return g_current->hooks.erase(hook) ? 0 : 1;
    }
};

FakeHost::FakeHost() {
    if (g_current) throw std::logic_error("one FakeHost at a time");
    g_current = this;
    table_.createService = FakeHostThunks::createService;
    table_.destroyService = FakeHostThunks::destroyService;
    table_.callService = FakeHostThunks::callService;
    table_.serviceExists = FakeHostThunks::serviceExists;
    table_.hookEvent = FakeHostThunks::hookEvent;
    table_.unhookEvent = FakeHostThunks::unhookEvent;
}

FakeHost::~FakeHost() { g_current = nullptr; }

FakeHost* FakeHost::current() { return g_current; }

size_t FakeHost::count(std::u16string_view service) const {
    size_t n = 0;
    for (const auto& call : calls) n += call == service;
    return n;
}

bool FakeHost::loggedContains(std::string_view needle) const {
    for (const auto& line : logs)
        if (line.text.find(needle) != std::string::npos) return true;
    return false;
}

SettingsFile& FakeHost::file(std::u16string_view name) {
    std::u16string path = directory;
    if (!path.empty() && path.back() != kNativePathSeparator) path += kNativePathSeparator;
    return files[path + std::u16string(name)];
}

void FakeHost::setText(std::u16string_view fileName, const std::u16string& key, std::u16string_view value) {
    file(fileName)[key] = std::u16string(value);
}

void FakeHost::setInt(std::u16string_view fileName, const std::u16string& key, int64_t value) {
    file(fileName)[key] = value;
}

int64_t FakeHost::serviceCall(const char16_t* name, uintptr_t w, uintptr_t l) {
    const std::u16string service = name;
    calls.push_back(service);
    int64_t answer = handle(service, w, l);
    if (auto result = results_.find(service); result != results_.end()) answer = result->second;
    if (afterServiceCall) afterServiceCall(service);
    return answer;
}

int64_t FakeHost::handle(const std::u16string& name, uintptr_t w, uintptr_t l) {
    if (name.starts_with(u"JOX/Settings/")) return settingsCall(name, w, l);
    if (name.starts_with(u"NetLib/")) return netCall(name, w, l);
    if (name == u"JOX/Log") {
        const auto& r = record<LogRecord>(w);
        logs.push_back({r.level, text(r.source), text(r.text)});
        return 0;
    }
    if (name == u"JOX/CallProtolHooks") {
        const auto& header = record<TrafficHeaderRecord>(w);
        const auto& data = record<TrafficDataRecord>(l);
        traffic.push_back({header.accountId, header.direction, header.phase,
                           std::string(data.bytes, static_cast<size_t>(data.count))});
        return hookResult;
    }
    if (name == u"JOX/ShowStandardNotify") {
        const auto& r = record<NotifyRecord>(w);
        notifications.push_back({text(r.text), text(r.title), text(r.thirdText), text(r.iconId), r.value40,
                                 r.value48, r.value64, r.callback, r.context});
        return 0;
    }
    if (name == u"Ar/WriteMessage") {
        const auto& r = record<ArchiveRecord>(w);
        archive.push_back({text(r.contact), text(r.netClass), text(r.subject), text(r.body), r.direction,
                           r.accountId, r.flags, r.time});
        return 0;
    }
    if (name == u"News/AddEntry") {
        const auto& r = record<NewsEntryRecord>(w);
        news.push_back({text(r.firstText), text(r.sender), text(r.subject), text(r.accountAddress), text(r.iconId)});
        return 0;
    }
    if (name == u"JOX/Timer/Create") {
        const auto& r = record<TimerRecord>(w);
        timers[r.timerId] = {r.intervalMs, r.handler, r.context};
        return 0;
    }
    if (name == u"JOX/Timer/Destroy") {
        const std::u16string id = reinterpret_cast<const char16_t*>(w);
        destroyedTimers.push_back(id);
        timers.erase(id);
        return 0;
    }
    if (name == u"JOX/Menu/Add" || name == u"JOX/Menu/Remove") {
        const auto& r = record<MenuItemRecord>(w);
        MenuItem item{text(r.itemId), text(r.parentId), text(r.caption), text(r.iconId), r.onClick};
        (name == u"JOX/Menu/Add" ? menuItems : removedMenuItems).push_back(item);
        return 0;
    }
    if (name == u"JOX/GetDirectoryLocation") {
        if (!directoryAvailable) return 1;
        const auto& r = record<DirectoryRecord>(w);
        const size_t n = std::min<size_t>(directory.size(), static_cast<size_t>(r.capacity) - 1);
        std::copy_n(directory.begin(), n, r.buffer);
        r.buffer[n] = u'\0';
        return 0;
    }
    if (name == u"JOX/ProtocolAdd") {
        auto& r = const_cast<ProtocolRecord&>(record<ProtocolRecord>(w));
        r.accountId = nextAccountId++;
        protocols.push_back(r.accountId);
        return 0;
    }
    if (name == u"JOX/ProtocolDel") {
        removedProtocols.push_back(static_cast<int32_t>(l));
        return 0;
    }
    if (name == u"JOX/PFSetInfo") {
        const auto& r = record<LoginInfoRecord>(w);
        loginInfos.push_back({text(r.login), text(r.profile), text(r.netClass), r.accountId});
        return 0;
    }
    if (name == u"JOX/AddOptionsPage") {
        const auto& r = record<OptionsPageRecord>(l);
        optionsPages[r.pageId] = {w, text(r.pageId), text(r.groupId), text(r.caption), text(r.iconId), r.handler,
                                  r.context};
        return 1;
    }
    if (name == u"JOX/RemoveOptionsPage") {
        const std::u16string id = reinterpret_cast<const char16_t*>(l);
        removedOptionsPages.push_back(id);
        optionsPages.erase(id);
        return 0;
    }
    if (name == u"JOX/Extend/GetField") {
        const auto& r = record<GetFieldRequest>(w);
        const Contact* contact = contactFor(r.contact);
        if (contact == nullptr || r.reply == nullptr || r.replyCapacity <= 0) return 1;
        const std::u16string value = text(r.fieldName) == "mail" ? contact->mail : std::u16string();
        const size_t n = std::min<size_t>(value.size(), static_cast<size_t>(r.replyCapacity) - 1);
        std::copy_n(value.begin(), n, r.reply);
        r.reply[n] = u'\0';
        return 0;
    }
    if (name == u"JOX/CTL/FndContact") {
        const Contact* contact = contactFor(record<ContactRef>(w));
        if (contact == nullptr || !contact->findable) return 0;
        return static_cast<int64_t>(contact - contacts.data()) + 1;
    }
    if (name == u"JOX/CTL/GetContact") {
        if (w == 0 || w > contacts.size() || !contacts[w - 1].infoReadable) return 1;
        auto& r = const_cast<ContactInfo&>(record<ContactInfo>(l));
        r.displayName = contacts[w - 1].name.c_str();
        return 0;
    }
    if (name == u"ACM/InterfaceAdd") {
        const auto& r = record<AcmInterfaceRecord>(w);
        accountInterface = Registration{r.handler, r.context};
        return 1;
    }
    if (name == u"ACM/InterfaceRemove") {
        accountInterfaceRemoved = true;
        return 0;
    }
    if (name == u"ACM/AddAccount") {
        const auto& r = record<AccountListRecord>(w);
        listedAccounts.push_back({text(r.displayName), r.accountId});
        return 1;
    }
    if (name == u"JOX/ShowMessageBox") {
        const auto& r = record<InputBoxRecord>(w);
        if (!promptAnswer) return 0;
        const size_t n = std::min<size_t>(promptAnswer->size(), static_cast<size_t>(r.capacity) - 1);
        std::copy_n(promptAnswer->begin(), n, r.answer);
        r.answer[n] = u'\0';
        return 1;
    }
    unknownServices.push_back(utf8(name));
    return -1;
}

int64_t FakeHost::settingsCall(const std::u16string& name, uintptr_t w, uintptr_t l) {
    if (name == u"JOX/Settings/InitEx") {
        const int64_t handle = nextSettingsHandle_++;
        const std::u16string path = reinterpret_cast<const char16_t*>(w);
        settingsHandles_[handle] = path;
        files[path];  // the host creates the file when it opens it
        *reinterpret_cast<int64_t*>(l) = handle;
        return 0;
    }
    if (name == u"JOX/Settings/Read") return ++settingsReads, 0;
    if (name == u"JOX/Settings/Write") return ++settingsWrites, 0;
    if (name == u"JOX/Settings/Destroy") {
        ++settingsCloses;
        settingsHandles_.erase(static_cast<int64_t>(w));
        return 0;
    }
    auto& r = const_cast<SettingsRecord&>(record<SettingsRecord>(w));
    auto handle = settingsHandles_.find(r.handle);
    if (handle == settingsHandles_.end()) return 0;
    SettingsFile& values = files[handle->second];
    if (name == u"JOX/Settings/Set") {
        if (r.type == kSettingsInt) values[r.key] = r.value.integer;
        else values[r.key] = std::u16string(r.value.text, static_cast<size_t>(r.length));
        return 0;
    }
    if (name == u"JOX/Settings/Get") {
        auto found = values.find(r.key);
        if (found == values.end()) return 0;
        if (r.type == kSettingsInt) {
            if (!std::holds_alternative<int64_t>(found->second)) return 0;
            r.value.integer = std::get<int64_t>(found->second);
            return 1;
        }
        if (!std::holds_alternative<std::u16string>(found->second)) return 0;
        const auto& value = std::get<std::u16string>(found->second);
        const size_t n = std::min<size_t>(value.size(), static_cast<size_t>(r.length) - 1);
        std::copy_n(value.begin(), n, r.value.text);
        r.value.text[n] = u'\0';
        return 1;
    }
    unknownServices.push_back(utf8(name));
    return -1;
}

FakeConnection* FakeHost::find(const NetConnection* object) {
    for (auto& c : connections)
        if (c.object == object && !c.destroyed) return &c;
    return nullptr;
}

int64_t FakeHost::netCall(const std::u16string& name, uintptr_t w, uintptr_t l) {
    (void)l;
    if (name == u"NetLib/Create") {
        const auto& r = record<NetCreateRecord>(w);
        connections.push_back({});
        FakeConnection& c = connections.back();
        c.object = r.connection;
        c.id = utf8(r.connection->id);
        c.handler = r.handler;
        c.context = r.context;
        return 0;
    }
    if (name == u"NetLib/Connect") {
        const auto& r = record<NetConnectRecord>(w);
        FakeConnection* c = find(r.connection);
        if (!c) return 10038;
        c->host = text(r.host);
        c->port = r.port;
        ++c->connects;
        return netBackend ? netBackend->connect(*c) : 0;
    }
    if (name == u"NetLib/Send") {
        const auto& r = record<NetSendRecord>(w);
        FakeConnection* c = find(r.connection);
        if (!c || ++sends_ == failSendNumber) return -1;
        const std::string_view bytes(r.bytes, static_cast<size_t>(r.count));
        // A real network keeps no copy: an attachment streams through whole.
        if (netBackend) return netBackend->send(*c, bytes);
        c->sent.append(bytes);
        return r.count;
    }
    FakeConnection* c = find(reinterpret_cast<const NetConnection*>(w));
    if (!c) return 1;
    if (name == u"NetLib/InitSSL") return ++c->sslStarts, netBackend ? netBackend->startTls(*c) : 0;
    if (name == u"NetLib/Close" || name == u"NetLib/Destroy") {
        if (name == u"NetLib/Close") ++c->closes;
        else c->destroyed = true;
        if (netBackend) netBackend->close(*c);
        return 0;
    }
    unknownServices.push_back(utf8(name));
    return -1;
}

ContactRef FakeHost::contactRef(size_t index) {
    ContactRef ref{};
    const uint64_t number = index + 1;
    std::memcpy(ref.bytes, &number, sizeof number);
    return ref;
}

const Contact* FakeHost::contactFor(const ContactRef& ref) const {
    uint64_t number = 0;
    std::memcpy(&number, ref.bytes, sizeof number);
    if (number == 0 || number > contacts.size()) return nullptr;
    return &contacts[number - 1];
}

namespace {

struct Selection {
    std::vector<ContactRef> refs;
    MenuCallbackInfo info{};
    explicit Selection(const std::vector<size_t>& selected) {
        for (size_t index : selected) refs.push_back(FakeHost::contactRef(index));
        info.contactCount = static_cast<int32_t>(refs.size());
        info.contacts = refs.empty() ? nullptr : refs.data();
    }
};

std::vector<std::string>* g_addedItems = nullptr;

int64_t addMenuItem(uintptr_t, const char16_t* itemId) {
    if (g_addedItems) g_addedItems->push_back(utf8(itemId));
    return 0;
}

}  // namespace

std::vector<std::string> FakeHost::rebuildMenu(const std::vector<size_t>& selected) {
    Selection selection(selected);
    MenuRebuildEvent event{};
    event.menuInfo = &selection.info;
    event.menu = 0x4D454E55;
    event.addItem = addMenuItem;
    std::vector<std::string> added;
    g_addedItems = &added;
    const auto snapshot = hooks;
    for (const auto& [handle, hook] : snapshot)
        if (hook.first == u"JOX/OnMenuRebuild")
            hook.second.handler(reinterpret_cast<uintptr_t>(&event), 0, hook.second.context);
    g_addedItems = nullptr;
    return added;
}

int64_t FakeHost::clickMenuItem(std::string_view itemId, const std::vector<size_t>& selected) {
    Selection selection(selected);
    for (const MenuItem& item : menuItems)
        if (item.itemId == itemId) return item.onClick(0, reinterpret_cast<uintptr_t>(&selection.info), 0);
    throw std::runtime_error("no such menu item: " + std::string(itemId));
}

PageEventRecord FakeHost::pageEvent(std::u16string_view pageId, int32_t code, uintptr_t parent, int32_t x, int32_t y,
                                    int32_t width, int32_t height) {
    const auto found = optionsPages.find(std::u16string(pageId));
    if (found == optionsPages.end()) throw std::runtime_error("no such options page: " + utf8(pageId));
    PageEventRecord event{};
    event.size = sizeof(PageEventRecord);
    event.code = code;
    event.parentWindow = parent;
    event.x = x;
    event.y = y;
    event.width = width;
    event.height = height;
    const OptionsPage page = found->second;
    page.handler(reinterpret_cast<uintptr_t>(&event), 0, page.context);
    return event;
}

int64_t FakeHost::callPluginService(const std::u16string& name, uintptr_t w, uintptr_t l) {
    const auto found = services.find(name);
    if (found == services.end()) throw std::runtime_error("no such plug-in service: " + utf8(name));
    return found->second.handler(w, l, found->second.context);
}

int64_t FakeHost::fireTimer(const std::u16string& id, int32_t code) {
    const auto found = timers.find(id);
    if (found == timers.end()) throw std::runtime_error("no such timer: " + utf8(id));
    TimerEventRecord event{};
    event.size = sizeof(TimerEventRecord);
    event.timerId = found->first.c_str();
    event.code = code;
    const Timer timer = found->second;
    return timer.handler(reinterpret_cast<uintptr_t>(&event), 0, timer.context);
}

FakeConnection& FakeHost::connection(std::string_view id) {
    for (auto& c : connections)
        if (c.id == id && !c.destroyed) return c;
    throw std::runtime_error("no such connection: " + std::string(id));
}

void FakeHost::deliver(FakeConnection& c, int32_t code, uintptr_t data) {
    NetEventRecord event{};
    event.size = sizeof(NetEventRecord);
    event.code = code;
    event.connection = c.object;
    c.handler(reinterpret_cast<uintptr_t>(&event), data, c.context);
}

void FakeHost::deliverConnected(FakeConnection& c) { deliver(c, kNetConnected, 0); }
void FakeHost::deliverClosed(FakeConnection& c) { deliver(c, kNetClosed, 0); }

void FakeHost::deliverData(FakeConnection& c, std::string_view bytes) {
    const std::string copy(bytes);  // NUL-terminated, as the service promises
    NetDataEvent data{};
    data.size = sizeof(NetDataEvent);
    data.count = static_cast<int32_t>(copy.size());
    data.bytes = copy.c_str();
    deliver(c, kNetData, reinterpret_cast<uintptr_t>(&data));
}

void FakeHost::deliverTls(FakeConnection& c, bool success, int32_t errorCode, const char16_t* errorText) {
    NetTlsEvent data{};
    data.size = sizeof(NetTlsEvent);
    data.status = success ? 1 : 0;
    data.errorCode = errorCode;
    data.errorText = errorText;
    deliver(c, kNetTlsResult, reinterpret_cast<uintptr_t>(&data));
}

void FakeHost::deliverError(FakeConnection& c, int32_t code) {
    deliver(c, kNetError, static_cast<uintptr_t>(static_cast<uint32_t>(code)));
}

std::string FakeHost::takeSent(FakeConnection& c) {
    std::string fresh = c.sent.substr(c.taken);
    c.taken = c.sent.size();
    return fresh;
}

}  // namespace postrix::test

// A small plug-in for joxhost's tests. It uses the host the way the mail
// plug-in does: the account window, one account with a send service and a
// mail-check timer, a settings file, a connection, notifications, the log,
// the archive and news entries.
//
// Its send service connects to "MAIL/smtpServer" (host:port), waits for a
// greeting, sends "HELO fake\r\n" and the text, and on a 2xx reply shows the
// success notification and archives the message. A mail check (timer code
// 1) shows a notification with a callback, adds "MAIL/newsCount" news
// entries (one when unset) in that one call, as the mail plug-in hands over
// a check's new mail, and logs "check done".
#include <cstdio>
#include <cstring>
#include <string>

#include "postrix/abi/abi.h"
#include "postrix/abi/records_accounts.h"
#include "postrix/abi/records_netlib.h"
#include "postrix/abi/records_notify.h"
#include "postrix/abi/records_plugin.h"
#include "postrix/abi/records_send.h"

using namespace postrix;

namespace {

HostTable* host = nullptr;

struct SettingsHandle {
    int64_t handle = 0;  // the host writes it here
} settings;

struct Account {
    int32_t id = 0;
    int64_t sendService = 0;
    std::u16string timerId;
    NetConnection connection{};
    bool busy = false;
    std::u16string pendingText;
    std::u16string recipient;
} account;

int32_t nextProfile = 0;

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string narrow(const char16_t* text) {
    std::string out;
    for (; text && *text; ++text) out += static_cast<char>(*text < 0x80 ? *text : '?');
    return out;
}

int64_t call(const char16_t* name, const void* w, uintptr_t l = 0) {
    return host->callService(name, reinterpret_cast<uintptr_t>(w), l);
}

void log(int level, const std::string& text) {
    const std::u16string message = wide(text);
    LogRecord record{};
    record.size = sizeof record;
    record.level = level;
    record.source = u"MAIL";
    record.text = message.c_str();
    call(u"JOX/Log", &record);
}

std::u16string getText(const char16_t* key) {
    char16_t buffer[256] = {};
    SettingsRecord record{};
    record.size = sizeof record;
    record.key = key;
    record.type = kSettingsText;
    record.value.text = buffer;
    record.length = 256;
    record.handle = settings.handle;
    return call(u"JOX/Settings/Get", &record) ? std::u16string(buffer) : std::u16string();
}

int64_t getNumber(const char16_t* key, int64_t fallback) {
    SettingsRecord record{};
    record.size = sizeof record;
    record.key = key;
    record.type = kSettingsInt;
    record.handle = settings.handle;
    return call(u"JOX/Settings/Get", &record) ? record.value.integer : fallback;
}

void notify(const char16_t* text, const char16_t* title, JoxHandler callback) {
    NotifyRecord record{};
    record.size = sizeof record;
    record.text = text;
    record.title = title;
    record.iconId = u"Image/Mail";
    record.value40 = 3;
    record.callback = callback;
    call(u"JOX/ShowStandardNotify", &record);
}

void sendText(const std::string& text) {
    NetSendRecord record{};
    record.size = sizeof record;
    record.bytes = text.data();
    record.count = static_cast<int32_t>(text.size());
    record.connection = &account.connection;
    if (call(u"NetLib/Send", &record) < 0) log(-1, "SMTP - Send failed");
}

void finish() {
    account.busy = false;
    call(u"NetLib/Close", &account.connection);
}

int64_t onNetEvent(uintptr_t w, uintptr_t l, uintptr_t) {
    const auto* event = reinterpret_cast<const NetEventRecord*>(w);
    if (event->code == kNetError) {
        log(-1, "SMTP - Connection error:" + std::to_string(static_cast<int32_t>(l)));
        finish();
    } else if (event->code == kNetClosed) {
        if (account.busy) log(-1, "SMTP - Connection closed by server");
        finish();
    } else if (event->code == kNetData) {
        const auto* data = reinterpret_cast<const NetDataEvent*>(l);
        const std::string reply(data->bytes, static_cast<size_t>(data->count));
        if (data->bytes[data->count] != 0) log(-1, "no NUL after the data");
        if (reply.rfind("220", 0) == 0) {
            std::string text;
            for (char16_t c : account.pendingText) text += static_cast<char>(c);
            sendText("HELO fake\r\n" + text + "\r\n");
        } else if (reply[0] == '2') {
            notify(u"Mail wysłany pomyślnie", u"", nullptr);
            ArchiveRecord archive{};
            archive.size = sizeof archive;
            archive.direction = -1;
            archive.contact = account.recipient.c_str();
            archive.netClass = u"MAIL";
            archive.accountId = account.id;
            archive.subject = u"";
            archive.body = account.pendingText.c_str();
            archive.flags = kArchiveSentMailFlags;
            archive.time = 1700000000;
            call(u"Ar/WriteMessage", &archive);
            finish();
        } else {
            log(-1, "SMTP - refused:\r\n" + reply);
            finish();
        }
    }
    return 0;
}

int64_t onMessageSend(uintptr_t w, uintptr_t, uintptr_t) {
    const auto* message = reinterpret_cast<const MessageSendRecord*>(w);
    if (!message || !message->text || !message->contactId) return kInvalidArgument;
    call(u"JOX/Settings/Read", reinterpret_cast<const void*>(settings.handle));
    const std::string server = narrow(getText(u"MAIL/smtpServer").c_str());
    const size_t colon = server.rfind(':');
    if (server.empty() || colon == std::string::npos) return 0;  // not configured: nothing starts
    if (account.busy) {
        log(-1, "SMTP - One connection in progress");
        return 0;
    }
    const std::u16string hostName = wide(server.substr(0, colon));
    account.pendingText = message->text;
    account.recipient = message->contactId;
    NetConnectRecord record{};
    record.size = sizeof record;
    record.connection = &account.connection;
    record.host = hostName.c_str();
    record.port = std::stoi(server.substr(colon + 1));
    record.flags = 1;
    const int64_t result = call(u"NetLib/Connect", &record);
    if (result != 0) {
        log(-1, "SMTP - Could not connect to SMTP server, err=" + std::to_string(result));
        return 0;
    }
    account.busy = true;
    return 0;
}

int64_t onNoticeEvent(uintptr_t w, uintptr_t, uintptr_t) {
    const auto* event = reinterpret_cast<const NotifyEventRecord*>(w);
    log(0, "notice event " + std::to_string(event->kind));
    return 0;
}

int64_t onMailTimer(uintptr_t w, uintptr_t, uintptr_t) {
    const auto* event = reinterpret_cast<const TimerEventRecord*>(w);
    if (event->code == 3) log(0, "mail timer period");
    if (event->code != 1) return 0;
    notify(u"Ilość nieprzeczytanych: 1", u"Nowa poczta (fake)", onNoticeEvent);
    call(u"JOX/Settings/Read", reinterpret_cast<const void*>(settings.handle));
    const int64_t count = getNumber(u"MAIL/newsCount", 1);
    for (int64_t i = 0; i < count; ++i) {
        const std::u16string first = u"fake-Jan  jan@example.com -Cześć-" + wide(std::to_string(i));
        NewsEntryRecord news{};
        news.size = sizeof news;
        news.firstText = first.c_str();
        news.sender = u"Jan  jan@example.com ";
        news.subject = u"Cześć";
        news.accountAddress = u"fake@example.com";
        news.iconId = u"Image/Mail";
        if (call(u"News/AddEntry", &news) != 0) log(-1, "news entry failed");
    }
    log(0, "check done");
    return 0;
}

int64_t onTick(uintptr_t w, uintptr_t, uintptr_t) {
    const auto* event = reinterpret_cast<const TimerEventRecord*>(w);
    log(0, "tick " + std::to_string(event->code));
    host->callService(u"JOX/Timer/Destroy", reinterpret_cast<uintptr_t>(u"fake/tick"), 0);
    return 0;
}

int32_t addProtocol() {
    ProtocolRecord record{};
    record.size = sizeof record;
    record.netClass = u"MAIL";
    record.shortName = u"Mail";
    record.longName = u"Mail Protocol";
    record.kind = 2;
    return call(u"JOX/ProtocolAdd", &record) == 0 ? record.accountId : -1;
}

void listAccount(int32_t id, const char16_t* name, bool main) {
    AccountListRecord record{};
    record.size = sizeof record;
    record.displayName = name;
    record.secondText = main ? u"Konto główne" : nullptr;
    record.netClass = u"MAIL";
    record.accountId = id;
    record.isProfile = main ? 0 : 1;
    call(u"ACM/AddAccount", &record);
}

int64_t onAccountEvent(uintptr_t w, uintptr_t l, uintptr_t) {
    const auto* event = reinterpret_cast<const AccountEventRecord*>(w);
    if (event->code == kAcmList) {
        listAccount(account.id, u"Mail [fake@example.com]", true);
        if (nextProfile) listAccount(nextProfile, u"Mail [profile]", false);
    } else if (event->code == kAcmAdd) {
        char16_t answer[33] = {};
        InputBoxRecord box{};
        box.size = sizeof box;
        box.kind = 2;
        box.answer = answer;
        box.capacity = 33;
        box.caption = u"Mail";
        box.title = u"Nowy profil";
        box.prompt = u"Podaj nazwę dla nowego profilu, maksymalnie 32 znaki:";
        if (call(u"JOX/ShowMessageBox", &box) == 1) {
            nextProfile = addProtocol();
            log(0, "profile " + narrow(answer));
        }
    } else if (event->code == kAcmRemove) {
        const auto* record = reinterpret_cast<const AccountRecord*>(l);
        if (record->accountId == account.id) {
            log(-1, "Removing account failed, cannot remove main account");
        } else {
            host->callService(u"JOX/ProtocolDel", reinterpret_cast<uintptr_t>(u"MAIL"),
                              static_cast<uintptr_t>(record->accountId));
        }
    }
    return 0;
}

const PluginInfo info = {sizeof(PluginInfo), 0, u"Fake Mail", u"test plug-in", u"", u"", u"", u"", u"",
                         0x0001000200030004ull, 0, 1, 0, u"{00000000-0000-0000-0000-000000000000}", {}};

}  // namespace

extern "C" JOX_EXPORT const void* queryPlugInfo(uintptr_t) { return &info; }

extern "C" JOX_EXPORT int32_t pluginLoad(uintptr_t, HostTable* table) {
    host = table;
    char16_t directory[260] = {};
    DirectoryRecord where{};
    where.size = sizeof where;
    where.kind = 1;
    where.scope = 1;
    where.buffer = directory;
    where.capacity = 260;
    if (call(u"JOX/GetDirectoryLocation", &where) == 0) {
        const std::u16string path = std::u16string(directory) + u"postrix.config";
        host->callService(u"JOX/Settings/InitEx", reinterpret_cast<uintptr_t>(path.c_str()),
                          reinterpret_cast<uintptr_t>(&settings));
    }

    AcmInterfaceRecord acm{};
    acm.size = sizeof acm;
    acm.handler = onAccountEvent;
    acm.netClass = u"MAIL";
    if (call(u"ACM/InterfaceAdd", &acm) != 1) log(-1, "Adding ACM interface failed");

    account.id = addProtocol();
    const std::u16string id = wide(std::to_string(account.id));
    account.sendService = host->createService((u"MAIL/" + id + u"/PFMessageSend").c_str(), onMessageSend, 0);
    const std::u16string socketId = u"MAIL/Socket/SMTP/" + id;
    std::memcpy(account.connection.id, socketId.c_str(), (socketId.size() + 1) * sizeof(char16_t));
    NetCreateRecord create{};
    create.size = sizeof create;
    create.kind = 2;
    create.handler = onNetEvent;
    create.connection = &account.connection;
    call(u"NetLib/Create", &create);

    account.timerId = u"MAIL/" + id + u"/mailRecvTimer";
    TimerRecord timer{};
    timer.size = sizeof timer;
    timer.timerId = account.timerId.c_str();
    timer.intervalMs = 60000;
    timer.handler = onMailTimer;
    call(u"JOX/Timer/Create", &timer);

    TimerRecord tick{};
    tick.size = sizeof tick;
    tick.timerId = u"fake/tick";
    tick.intervalMs = 5;
    tick.handler = onTick;
    call(u"JOX/Timer/Create", &tick);

    log(0, "loaded");
    return 0;
}

extern "C" JOX_EXPORT int32_t pluginUnload(uintptr_t) {
    host->callService(u"JOX/Timer/Destroy", reinterpret_cast<uintptr_t>(account.timerId.c_str()), 0);
    host->callService(u"JOX/Timer/Destroy", reinterpret_cast<uintptr_t>(u"fake/tick"), 0);
    call(u"NetLib/Destroy", &account.connection);
    if (account.sendService) host->destroyService(account.sendService);
    host->callService(u"ACM/InterfaceRemove", reinterpret_cast<uintptr_t>(u"MAIL"), 0);
    host->callService(u"JOX/Settings/Destroy", static_cast<uintptr_t>(settings.handle), 0);
    return 0;
}

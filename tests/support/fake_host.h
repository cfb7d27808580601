// An in-process fake of the JOX host for unit tests. It hands the plug-in a
// HostTable, records every service call with copies of its records' texts,
// answers with configurable results, keeps settings files in memory and
// plays the network service: a test delivers connection events and reads
// what the plug-in sent, reply by reply.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "abi/abi.h"
#include "abi/records_accounts.h"
#include "abi/records_netlib.h"
#include "abi/records_ui.h"
#include "support/system.h"

namespace postrix::test {

std::string utf8(std::u16string_view text);
std::u16string wide(std::string_view utf8Text);

struct LogLine {
    int level;
    std::string source;
    std::string text;
};

struct Notification {
    std::string text, title, thirdText, icon;
    int32_t value40, value48, value64;
    JoxHandler callback;
    uintptr_t context;
};

struct ArchiveEntry {
    std::string contact, netClass, subject, body;
    int32_t direction, accountId, flags;
    int64_t time;
};

struct NewsEntry {
    std::string firstText, sender, subject, accountAddress, icon;
};

struct Timer {
    int32_t intervalMs;
    JoxHandler handler;
    uintptr_t context;
};

struct Registration {
    JoxHandler handler;
    uintptr_t context;
};

struct MenuItem {
    std::string itemId, parentId, caption, iconId;
    JoxHandler onClick;
};

struct LoginInfo {
    std::string login, profile, netClass;
    int32_t accountId;
};

struct OptionsPage {
    uintptr_t module;
    std::string pageId, groupId, caption, iconId;
    JoxHandler handler;
    uintptr_t context;
};

struct Traffic {
    int32_t accountId, direction, phase;
    std::string bytes;
};

// One connection object the plug-in created through "NetLib/Create".
struct FakeConnection {
    NetConnection* object = nullptr;
    std::string id;
    JoxHandler handler = nullptr;
    uintptr_t context = 0;
    std::string host;
    int32_t port = 0;
    int connects = 0;
    int closes = 0;
    int sslStarts = 0;
    bool destroyed = false;
    std::string sent;  // every byte the plug-in sent, in order
    size_t taken = 0;  // how much of sent takeSent already returned
};

// One entry of the host's contact list.
struct Contact {
    std::u16string name;
    std::u16string mail;         // the "mail" field; empty = none
    bool findable = true;        // "JOX/CTL/FndContact" finds it
    bool infoReadable = true;    // "JOX/CTL/GetContact" succeeds
};

// A real network under the NetLib services, for a host program that runs the
// plug-in against servers (tests/windows/host). Without one, a connection
// only records what the plug-in asked and a test delivers its events; with
// one, FakeHost still keeps its records and hands each request on.
class NetBackend {
public:
    virtual ~NetBackend() = default;
    // "NetLib/Connect" once c's host and port are recorded; its result.
    virtual int64_t connect(FakeConnection& c) = 0;
    // "NetLib/Send": the count of bytes written, or -1; returns when it knows.
    virtual int64_t send(FakeConnection& c, std::string_view bytes) = 0;
    // "NetLib/InitSSL"; its result.
    virtual int64_t startTls(FakeConnection& c) = 0;
    // "NetLib/Close" and "NetLib/Destroy": no event of c comes after it.
    virtual void close(FakeConnection& c) = 0;
};

using SettingValue = std::variant<int64_t, std::u16string>;
using SettingsFile = std::map<std::u16string, SettingValue>;

class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    HostTable* table() { return &table_; }

    // --- configuration --------------------------------------------------
    // A fixed result for a service, instead of its usual answer.
    void setResult(const std::u16string& service, int64_t result) { results_[service] = result; }
    void clearResult(const std::u16string& service) { results_.erase(service); }
    // The profile folder, in the system's form.
    std::u16string directory = kNativePathSeparator + std::u16string(u"profile") + kNativePathSeparator;
    bool directoryAvailable = true;
    std::optional<std::u16string> promptAnswer;  // answer of the profile-name box; none = cancelled
    std::set<std::u16string> existingServices;   // answered by serviceExists besides created ones
    int64_t nextHook = 100;
    int32_t nextAccountId = 1;
    // The n-th "NetLib/Send" (counted from 1) fails; 0 = none fails.
    int failSendNumber = 0;
    int64_t hookResult = 0;  // result of "JOX/CallProtolHooks"
    std::vector<Contact> contacts;
    NetBackend* netBackend = nullptr;  // not owned; none = connections only record
    // Called after every service call of the plug-in has been recorded and
    // answered, with the service's name.
    std::function<void(const std::u16string&)> afterServiceCall;

    // --- what the plug-in did ---------------------------------------------
    std::vector<std::u16string> calls;  // every service name, in order
    std::vector<LogLine> logs;
    std::vector<Notification> notifications;
    std::vector<ArchiveEntry> archive;
    std::vector<NewsEntry> news;
    std::map<std::u16string, Timer> timers;
    std::vector<std::u16string> destroyedTimers;
    std::vector<MenuItem> menuItems;
    std::vector<MenuItem> removedMenuItems;
    std::map<int64_t, std::pair<std::u16string, Registration>> hooks;
    std::map<std::u16string, Registration> services;
    std::vector<int32_t> protocols;
    std::vector<int32_t> removedProtocols;
    std::vector<LoginInfo> loginInfos;
    std::map<std::u16string, OptionsPage> optionsPages;
    std::vector<std::u16string> removedOptionsPages;
    std::optional<Registration> accountInterface;
    bool accountInterfaceRemoved = false;
    std::vector<std::pair<std::string, int32_t>> listedAccounts;  // display name, id
    std::vector<Traffic> traffic;
    std::map<std::u16string, SettingsFile> files;  // path -> values
    int settingsReads = 0, settingsWrites = 0, settingsCloses = 0;
    std::deque<FakeConnection> connections;  // stable references
    std::vector<std::string> unknownServices;

    // --- helpers for tests -------------------------------------------------
    size_t count(std::u16string_view service) const;
    bool loggedContains(std::string_view text) const;

    // Settings of the file at directory + name.
    SettingsFile& file(std::u16string_view name);
    void setText(std::u16string_view fileName, const std::u16string& key, std::u16string_view value);
    void setInt(std::u16string_view fileName, const std::u16string& key, int64_t value);

    // The host's identifier of contact i (its position plus one inside).
    static ContactRef contactRef(size_t index);
    // Runs the "JOX/OnMenuRebuild" hooks for the selected contacts; the ids
    // of the items they put into the menu.
    std::vector<std::string> rebuildMenu(const std::vector<size_t>& selected);
    // Clicks the menu item with that id for the selected contacts.
    int64_t clickMenuItem(std::string_view itemId, const std::vector<size_t>& selected);
    // Sends a page event to the options page with that id; the record as
    // the handler left it.
    PageEventRecord pageEvent(std::u16string_view pageId, int32_t code, uintptr_t parent = 0,
                              int32_t x = 0, int32_t y = 0, int32_t width = 0, int32_t height = 0);

    // Calls a service the plug-in registered.
    int64_t callPluginService(const std::u16string& name, uintptr_t wParam, uintptr_t lParam = 0);
    // Fires a timer with an event code.
    int64_t fireTimer(const std::u16string& id, int32_t code);

    FakeConnection& connection(std::string_view id);
    // Network events to the plug-in.
    void deliverConnected(FakeConnection& c);
    void deliverData(FakeConnection& c, std::string_view bytes);
    void deliverClosed(FakeConnection& c);
    void deliverTls(FakeConnection& c, bool success, int32_t errorCode = 0, const char16_t* errorText = nullptr);
    void deliverError(FakeConnection& c, int32_t code);
    // What the plug-in sent on c since the last call.
    std::string takeSent(FakeConnection& c);

    static FakeHost* current();

private:
    int64_t serviceCall(const char16_t* name, uintptr_t w, uintptr_t l);
    int64_t handle(const std::u16string& name, uintptr_t w, uintptr_t l);
    int64_t settingsCall(const std::u16string& name, uintptr_t w, uintptr_t l);
    int64_t netCall(const std::u16string& name, uintptr_t w, uintptr_t l);
    FakeConnection* find(const NetConnection* object);
    const Contact* contactFor(const ContactRef& ref) const;
    void deliver(FakeConnection& c, int32_t code, uintptr_t data);

    HostTable table_{};
    std::map<std::u16string, int64_t> results_;
    std::map<int64_t, std::u16string> settingsHandles_;
    int64_t nextSettingsHandle_ = 1;
    int64_t nextServiceHandle_ = 1;
    std::map<int64_t, std::u16string> serviceHandles_;
    int sends_ = 0;

    friend struct FakeHostThunks;
};

}  // namespace postrix::test

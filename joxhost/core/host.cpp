#include "core/host.h"

#include "core/utf.h"

namespace joxhost {
namespace {

Host* current = nullptr;

int64_t createServiceEntry(const char16_t* name, JoxHandler handler, uintptr_t context) {
    if (!current || !name) return 0;
    const int64_t handle = current->services.createService(name, handler, context);
    current->reporter().detail(
        Event("service-create").add("name", utf8FromHost(name)).add("handle", handle));
    return handle;
}

int64_t destroyServiceEntry(int64_t handle) {
    return current && current->services.destroyService(handle) ? 0 : 1;
}

int64_t callServiceEntry(const char16_t* name, uintptr_t wParam, uintptr_t lParam) {
    return current ? current->callService(name, wParam, lParam) : Host::kNoService;
}

int64_t serviceExistsEntry(const char16_t* name) {
    return current && name && current->services.exists(name) ? 1 : 0;
}

int64_t hookEventEntry(const char16_t* event, JoxHandler handler, uintptr_t context) {
    return current && event ? current->services.hookEvent(event, handler, context) : 0;
}

int64_t unhookEventEntry(int64_t hook) { return current && current->services.unhookEvent(hook) ? 0 : 1; }

}  // namespace

Host::Host(asio::io_context& io, Reporter& reporter, HostOptions hostOptions)
    : io_(io),
      reporter_(reporter),
      options(std::move(hostOptions)),
      calls(io),
      profile(options.profileDir),
      log(reporter),
      settings(options.profileDir, reporter),
      archive(options.profileDir / "archive.db", io, reporter),
      net(calls, reporter, options.net),
      timers(calls, reporter, options.mailTimerMinute),
      notifications(calls, reporter, options.notificationTime),
      accounts(calls, reporter),
      protocols(reporter),
      optionsPages(reporter),
      menus(reporter),
      contacts(options.profileDir / "contacts.txt"),
      desktop(reporter) {
    profile.install(services);
    log.install(services);
    settings.install(services);
    archive.install(services);
    net.install(services);
    timers.install(services);
    notifications.install(services);
    accounts.install(services);
    protocols.install(services);
    optionsPages.install(services);
    menus.install(services);
    contacts.install(services);
    if (std::string error; !contacts.load(&error)) reporter.emit(Event("host-error").add("text", error));

    table_.createService = createServiceEntry;
    table_.destroyService = destroyServiceEntry;
    table_.callService = callServiceEntry;
    table_.serviceExists = serviceExistsEntry;
    table_.hookEvent = hookEventEntry;
    table_.unhookEvent = unhookEventEntry;
    current = this;
}

Host::~Host() {
    calls.close();
    if (current == this) current = nullptr;
}

int64_t Host::callService(const char16_t* name, uintptr_t wParam, uintptr_t lParam) {
    if (!name) return kNoService;
    const std::u16string service(name);
    if (const auto result = services.call(service, wParam, lParam)) return *result;
    reporter_.detail(Event("unknown-service").add("name", toUtf8(service)));
    return kNoService;
}

}  // namespace joxhost

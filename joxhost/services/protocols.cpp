#include "services/protocols.h"

#include "postrix/abi/records_accounts.h"
#include "core/utf.h"

namespace joxhost {

using postrix::LoginInfoRecord;
using postrix::ProtocolRecord;

void Protocols::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/ProtocolAdd",
                            [this](uintptr_t w, uintptr_t) { return add(reinterpret_cast<void*>(w)); });
    services.addHostService(u"JOX/ProtocolDel", [this](uintptr_t w, uintptr_t l) {
        return remove(reinterpret_cast<const char16_t*>(w), static_cast<int32_t>(l));
    });
    services.addHostService(u"JOX/PFSetInfo", [this](uintptr_t w, uintptr_t) {
        return setInfo(reinterpret_cast<const void*>(w));
    });
}

int64_t Protocols::add(void* recordPointer) {
    auto* r = static_cast<ProtocolRecord*>(recordPointer);
    if (!r || !r->netClass || !*r->netClass) return 1;
    const int32_t id = nextId_++;
    r->accountId = id;
    instances_[id] = {utf8FromHost(r->netClass), utf8FromHost(r->shortName), utf8FromHost(r->longName), {}};
    reporter_.detail(Event("protocol-add").add("netClass", instances_[id].netClass).add("id", id));
    return 0;
}

int64_t Protocols::remove(const char16_t* netClass, int32_t id) {
    const auto it = instances_.find(id);
    if (it == instances_.end() || it->second.netClass != utf8FromHost(netClass)) return 1;
    instances_.erase(it);
    reporter_.detail(Event("protocol-remove").add("id", id));
    return 0;
}

int64_t Protocols::setInfo(const void* recordPointer) {
    const auto* r = static_cast<const LoginInfoRecord*>(recordPointer);
    if (!r) return 1;
    const auto it = instances_.find(r->accountId);
    if (it == instances_.end() || it->second.netClass != utf8FromHost(r->netClass)) return 1;
    it->second.login = utf8FromHost(r->login);
    reporter_.detail(Event("login-info").add("id", r->accountId).add("login", it->second.login));
    return 0;
}

}  // namespace joxhost

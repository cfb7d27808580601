#include "services/options_pages.h"

#include "postrix/abi/records_accounts.h"
#include "core/utf.h"

namespace joxhost {

using postrix::OptionsPageRecord;

void OptionsPages::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/AddOptionsPage", [this](uintptr_t w, uintptr_t l) {
        return add(w, reinterpret_cast<const void*>(l));
    });
    services.addHostService(u"JOX/RemoveOptionsPage", [this](uintptr_t w, uintptr_t l) {
        return remove(w, reinterpret_cast<const char16_t*>(l));
    });
}

int64_t OptionsPages::add(uintptr_t module, const void* recordPointer) {
    const auto* r = static_cast<const OptionsPageRecord*>(recordPointer);
    if (!r || !r->pageId || !*r->pageId || !r->handler) return 0;
    pages_[r->pageId] = {module, utf8FromHost(r->groupId), utf8FromHost(r->caption), r->handler, r->context};
    reporter_.detail(Event("options-page").add("id", utf8FromHost(r->pageId)).add("caption", utf8FromHost(r->caption)));
    return 1;
}

int64_t OptionsPages::remove(uintptr_t module, const char16_t* pageId) {
    if (!pageId) return 1;
    const auto it = pages_.find(pageId);
    if (it == pages_.end() || it->second.module != module) return 1;
    pages_.erase(it);
    return 0;
}

}  // namespace joxhost

#include "services/menus.h"

#include "postrix/abi/records_plugin.h"
#include "core/utf.h"

namespace joxhost {

using postrix::MenuItemRecord;

void Menus::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/Menu/Add",
                            [this](uintptr_t w, uintptr_t) { return add(reinterpret_cast<const void*>(w)); });
    services.addHostService(u"JOX/Menu/Remove", [this](uintptr_t w, uintptr_t) {
        return remove(reinterpret_cast<const void*>(w));
    });
}

int64_t Menus::add(const void* recordPointer) {
    const auto* r = static_cast<const MenuItemRecord*>(recordPointer);
    if (!r || !r->itemId || !*r->itemId) return 1;
    Item item{utf8FromHost(r->caption), utf8FromHost(r->iconId), r->onClick};
    reporter_.detail(Event("menu-add")
                         .add("id", utf8FromHost(r->itemId))
                         .add("parent", utf8FromHost(r->parentId))
                         .add("caption", item.caption));
    items_[{fromHost(r->parentId), fromHost(r->itemId)}] = std::move(item);
    return 0;
}

int64_t Menus::remove(const void* recordPointer) {
    const auto* r = static_cast<const MenuItemRecord*>(recordPointer);
    if (!r || !r->itemId) return 1;
    return items_.erase({fromHost(r->parentId), fromHost(r->itemId)}) ? 0 : 1;
}

}  // namespace joxhost

// "JOX/Menu/Add" and "JOX/Menu/Remove": menu items by parent and id, with
// their click handlers.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "postrix/abi/abi.h"
#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

class Menus {
public:
    struct Item {
        std::string caption;
        std::string icon;
        JoxHandler onClick;
    };
    using Key = std::pair<std::u16string, std::u16string>;  // parent, item id

    explicit Menus(Reporter& reporter) : reporter_(reporter) {}

    void install(ServiceRegistry& services);

    int64_t add(const void* record);
    int64_t remove(const void* record);

    const std::map<Key, Item>& items() const { return items_; }

private:
    Reporter& reporter_;
    std::map<Key, Item> items_;
};

}  // namespace joxhost

// "JOX/AddOptionsPage" and "JOX/RemoveOptionsPage": the pages the plug-in
// offers in the options window, kept with their handlers.
#pragma once

#include <map>
#include <string>

#include "postrix/abi/abi.h"
#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

class OptionsPages {
public:
    struct Page {
        uintptr_t module;
        std::string group;
        std::string caption;
        JoxHandler handler;
        uintptr_t context;
    };

    explicit OptionsPages(Reporter& reporter) : reporter_(reporter) {}

    void install(ServiceRegistry& services);

    int64_t add(uintptr_t module, const void* record);
    int64_t remove(uintptr_t module, const char16_t* pageId);

    const std::map<std::u16string, Page>& pages() const { return pages_; }

private:
    Reporter& reporter_;
    std::map<std::u16string, Page> pages_;
};

}  // namespace joxhost

// Named services: the host's own (built in by joxhost's parts) and those the
// plug-in registers through createService, plus event hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "postrix/abi/abi.h"

namespace joxhost {

class ServiceRegistry {
public:
    using HostService = std::function<int64_t(uintptr_t wParam, uintptr_t lParam)>;

    struct Hook {
        int64_t handle;
        JoxHandler handler;
        uintptr_t context;
    };

    void addHostService(std::u16string name, HostService service);

    // createService: a handle, 0 when the name is taken or the handler null.
    int64_t createService(std::u16string name, JoxHandler handler, uintptr_t context);
    bool destroyService(int64_t handle);
    bool exists(const std::u16string& name) const;

    // The result of the named service, or nothing when no service has it.
    std::optional<int64_t> call(const std::u16string& name, uintptr_t wParam, uintptr_t lParam);

    int64_t hookEvent(std::u16string event, JoxHandler handler, uintptr_t context);
    bool unhookEvent(int64_t handle);
    std::vector<Hook> hooks(const std::u16string& event) const;

    size_t pluginServiceCount() const { return pluginServices_.size(); }

private:
    struct PluginService {
        int64_t handle;
        JoxHandler handler;
        uintptr_t context;
    };

    std::map<std::u16string, HostService> hostServices_;
    std::map<std::u16string, PluginService> pluginServices_;
    std::map<std::u16string, std::vector<Hook>> hooks_;
    int64_t nextHandle_ = 1;
};

}  // namespace joxhost

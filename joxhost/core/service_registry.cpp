#include "core/service_registry.h"

namespace joxhost {

void ServiceRegistry::addHostService(std::u16string name, HostService service) {
    hostServices_[std::move(name)] = std::move(service);
}

int64_t ServiceRegistry::createService(std::u16string name, JoxHandler handler, uintptr_t context) {
    if (!handler || name.empty() || exists(name)) return 0;
    const int64_t handle = nextHandle_++;
    pluginServices_[std::move(name)] = {handle, handler, context};
    return handle;
}

bool ServiceRegistry::destroyService(int64_t handle) {
    for (auto it = pluginServices_.begin(); it != pluginServices_.end(); ++it) {
        if (it->second.handle == handle) {
            pluginServices_.erase(it);
            return true;
        }
    }
    return false;
}

bool ServiceRegistry::exists(const std::u16string& name) const {
    return hostServices_.count(name) != 0 || pluginServices_.count(name) != 0;
}

std::optional<int64_t> ServiceRegistry::call(const std::u16string& name, uintptr_t wParam,
                                             uintptr_t lParam) {
    if (const auto host = hostServices_.find(name); host != hostServices_.end()) {
        return host->second(wParam, lParam);
    }
    if (const auto plugin = pluginServices_.find(name); plugin != pluginServices_.end()) {
        const PluginService service = plugin->second;  // the handler may destroy its entry
        return service.handler(wParam, lParam, service.context);
    }
    return std::nullopt;
}

int64_t ServiceRegistry::hookEvent(std::u16string event, JoxHandler handler, uintptr_t context) {
    if (!handler || event.empty()) return 0;
    const int64_t handle = nextHandle_++;
    hooks_[std::move(event)].push_back({handle, handler, context});
    return handle;
}

bool ServiceRegistry::unhookEvent(int64_t handle) {
    for (auto& [event, list] : hooks_) {
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->handle == handle) {
                list.erase(it);
                return true;
            }
        }
    }
    return false;
}

std::vector<ServiceRegistry::Hook> ServiceRegistry::hooks(const std::u16string& event) const {
    const auto it = hooks_.find(event);
    return it == hooks_.end() ? std::vector<Hook>{} : it->second;
}

}  // namespace joxhost

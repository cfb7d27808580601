// A plug-in library loaded with dlopen and its three entry points.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "postrix/abi/abi.h"

namespace joxhost {

class PluginModule {
public:
    // Null with the reason when the library or an entry point is missing.
    static std::unique_ptr<PluginModule> open(const std::filesystem::path& path, std::string* error);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // The plug-in's name and version from its information record.
    std::string name() const;
    std::string version() const;

    int32_t load(HostTable* host);
    int32_t unload();

private:
    PluginModule() = default;

    void* library_ = nullptr;
    JoxQueryPlugInfo query_ = nullptr;
    JoxPluginLoad load_ = nullptr;
    JoxPluginUnload unload_ = nullptr;
};

}  // namespace joxhost

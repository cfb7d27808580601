#include "core/plugin_module.h"

#include <dlfcn.h>

#include "postrix/abi/records_plugin.h"
#include "core/utf.h"

namespace joxhost {

std::unique_ptr<PluginModule> PluginModule::open(const std::filesystem::path& path, std::string* error) {
    std::unique_ptr<PluginModule> module(new PluginModule());
    // A path without a slash would be searched for in the library path.
    const std::string file = path.has_parent_path() ? path.string() : "./" + path.string();
    module->library_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module->library_) {
        if (error) *error = "cannot load " + path.string() + ": " + ::dlerror();
        return nullptr;
    }
    module->query_ = reinterpret_cast<JoxQueryPlugInfo>(::dlsym(module->library_, "queryPlugInfo"));
    module->load_ = reinterpret_cast<JoxPluginLoad>(::dlsym(module->library_, "pluginLoad"));
    module->unload_ = reinterpret_cast<JoxPluginUnload>(::dlsym(module->library_, "pluginUnload"));
    if (!module->query_ || !module->load_ || !module->unload_) {
        if (error) *error = path.string() + " is not a plug-in: an entry point is missing";
        return nullptr;
    }
    return module;
}

PluginModule::~PluginModule() {
    if (library_) ::dlclose(library_);
}

std::string PluginModule::name() const {
    const auto* info = static_cast<const postrix::PluginInfo*>(query_(0));
    return info && info->size >= static_cast<int32_t>(sizeof *info) ? utf8FromHost(info->name) : std::string();
}

std::string PluginModule::version() const {
    const auto* info = static_cast<const postrix::PluginInfo*>(query_(0));
    if (!info || info->size < static_cast<int32_t>(sizeof *info)) return {};
    std::string text;
    for (int shift = 48; shift >= 0; shift -= 16) {
        text += std::to_string((info->version >> shift) & 0xFFFF);
        if (shift) text += '.';
    }
    return text;
}

int32_t PluginModule::load(HostTable* host) { return load_(0, host); }

int32_t PluginModule::unload() { return unload_(0); }

}  // namespace joxhost

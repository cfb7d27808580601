#include "core/session.h"

namespace joxhost {

Session::Session(asio::io_context& io, Reporter& reporter, HostOptions options)
    : host_(std::make_unique<Host>(io, reporter, std::move(options))) {}

Session::~Session() {
    unload();
    host_.reset();  // every handler pointer into the library is dropped here
    module_.reset();
}

bool Session::load(const std::filesystem::path& pluginPath, std::string* error) {
    module_ = PluginModule::open(pluginPath, error);
    if (!module_) return false;
    host_->reporter().detail(
        Event("plugin").add("name", module_->name()).add("version", module_->version()).add("path", pluginPath.string()));
    PluginCalls::Scope scope(host_->calls);
    module_->load(host_->table());
    loaded_ = true;
    return true;
}

void Session::unload() {
    if (!loaded_) return;
    host_->notifications.discardAll();
    {
        PluginCalls::Scope scope(host_->calls);
        module_->unload();
    }
    host_->calls.close();
    loaded_ = false;
}

}  // namespace joxhost

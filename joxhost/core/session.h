// A plug-in loaded into a host: load at start, unload at the end, and no
// call into the plug-in after its unload.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/host.h"
#include "core/plugin_module.h"

namespace joxhost {

class Session {
public:
    Session(asio::io_context& io, Reporter& reporter, HostOptions options);
    ~Session();

    // Loads the library and runs its pluginLoad; the reason on failure.
    bool load(const std::filesystem::path& pluginPath, std::string* error);
    void unload();

    Host& host() { return *host_; }
    bool loaded() const { return loaded_; }

    // Runs the loop until done() holds or the loop has nothing left to do.
    template <typename Done>
    void runUntil(Done done) {
        while (!done()) {
            host_->reporter().newTurn();
            if (host_->io().run_one() == 0) break;
        }
    }

private:
    std::unique_ptr<Host> host_;
    std::unique_ptr<PluginModule> module_;
    bool loaded_ = false;
};

}  // namespace joxhost

#include "core/plugin_calls.h"

namespace joxhost {

void PluginCalls::post(std::function<void()> call) { run(io_, state_, std::move(call)); }

void PluginCalls::run(asio::io_context& io, std::shared_ptr<State> state, std::function<void()> call) {
    asio::post(io, [&io, state, call = std::move(call)]() mutable {
        if (state->closed) return;
        if (state->depth > 0) {  // only if someone ran the loop inside a plug-in call
            run(io, state, std::move(call));
            return;
        }
        ++state->depth;
        call();
        --state->depth;
    });
}

}  // namespace joxhost

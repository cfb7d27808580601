// The one door through which joxhost calls into the plug-in outside a
// service call: events are queued on the loop and delivered one at a time,
// never from inside another plug-in call.
#pragma once

#include <asio.hpp>
#include <functional>
#include <memory>

namespace joxhost {

class PluginCalls {
    struct State {
        int depth = 0;
        bool closed = false;
    };

public:
    explicit PluginCalls(asio::io_context& io) : io_(io), state_(std::make_shared<State>()) {}
    ~PluginCalls() { close(); }

    // Queues a call into the plug-in; it runs from the loop after the calls
    // queued before it. Dropped once the plug-in is unloaded (close()).
    void post(std::function<void()> call);

    // Marks a synchronous call into the plug-in (a command's own call).
    class Scope {
    public:
        explicit Scope(PluginCalls& calls) : state_(calls.state_) { ++state_->depth; }
        ~Scope() { --state_->depth; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        std::shared_ptr<State> state_;
    };

    bool insideCall() const { return state_->depth > 0; }
    void close() { state_->closed = true; }
    bool closed() const { return state_->closed; }
    asio::io_context& io() { return io_; }

private:
    static void run(asio::io_context& io, std::shared_ptr<State> state, std::function<void()> call);

    asio::io_context& io_;
    std::shared_ptr<State> state_;
};

}  // namespace joxhost

// The account-manager window: "ACM/InterfaceAdd", "ACM/InterfaceRemove",
// "ACM/AddAccount" and the text prompt of "JOX/ShowMessageBox". Commands
// open the window (event 0), add (event 4) and remove (event 2) accounts.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/plugin_calls.h"
#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

struct ListedAccount {
    int position = 0;
    int32_t id = 0;
    std::string name;
    std::string secondText;
    std::string netClass;
    bool isProfile = false;
};

class AccountWindow {
public:
    AccountWindow(PluginCalls& calls, Reporter& reporter) : calls_(calls), reporter_(reporter) {}

    void install(ServiceRegistry& services);

    int64_t interfaceAdd(const void* record);
    int64_t interfaceRemove(const char16_t* netClass);
    int64_t addAccount(const void* record);
    int64_t showMessageBox(const void* record);

    bool hasInterface(const std::u16string& netClass) const { return interfaces_.count(netClass) != 0; }

    // Event 0: the accounts the plug-in lists, in its order. Silent.
    std::vector<ListedAccount> list(const std::u16string& netClass);
    // Event 4 with answer as the prompt's answer; false when nobody asked.
    bool add(const std::u16string& netClass, const std::u16string& answer);
    // Event 2 for the account id.
    void remove(const std::u16string& netClass, int32_t id);

private:
    struct Interface {
        JoxHandler handler;
        uintptr_t context;
    };

    void sendEvent(const std::u16string& netClass, int32_t code, const void* account);

    PluginCalls& calls_;
    Reporter& reporter_;
    std::map<std::u16string, Interface> interfaces_;
    std::vector<ListedAccount>* listing_ = nullptr;  // set while event 0 runs
    std::optional<std::u16string> answer_;           // set while event 4 runs
    bool asked_ = false;
};

}  // namespace joxhost

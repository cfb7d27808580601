// Owns every configured mailbox and answers the host's account window.
//
// Each account keeps two files in the host's directory: its settings,
// "postrix.config" for the main account and "postrix_<P>.config" for
// profile P, and the unique ids of the messages its checks already know,
// "postrix.known" and "postrix_<P>.known" (see pop3/known_ids_file.h and
// known_ids_format.h), and where its IMAP checks stand, "postrix.imap" and
// "postrix_<P>.imap" (imap/imap_state_file.h), each written through
// "<name>.tmp-<process id>" renamed over it.
// Removing a profile's account deletes all of them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "platform/ui.h"

namespace postrix {

class Account;

class AccountManager {
public:
    // Registers the account-manager interface, then creates the main account
    // and one account per profile file in the host's directory. pluginGuid
    // names the plug-in in every protocol instance it adds; the accounts'
    // options pages paint with dialogColours.
    AccountManager(Host host, uintptr_t moduleHandle, const char16_t* pluginGuid,
                   platform::DialogColours dialogColours);
    // Removes the interface and tears every account down in list order.
    ~AccountManager();
    AccountManager(const AccountManager&) = delete;
    AccountManager& operator=(const AccountManager&) = delete;

    size_t count() const { return accounts_.size(); }
    Account& at(size_t position) const { return *accounts_.at(position); }
    Account* findById(int32_t id) const;

    // The new account's id, or -1 when the host refused the protocol instance.
    int32_t addAccount(std::u16string_view profileName);
    void removeAccount(int32_t id);

    // Handler of the host's account window: 0 lists, 2 removes, 4 adds.
    static int64_t onAccountEvent(uintptr_t event, uintptr_t account, uintptr_t context);

    // Why a profile name cannot name a file of its own; nothing when it can.
    std::optional<std::string> profileNameProblem(std::u16string_view name) const;

private:
    void addProfileAccounts();
    void listAccounts();
    void promptForAccount();

    Host host_;
    uintptr_t moduleHandle_;
    const char16_t* pluginGuid_;
    platform::DialogColours dialogColours_;
    std::vector<std::unique_ptr<Account>> accounts_;
};

}  // namespace postrix

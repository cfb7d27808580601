#include "accounts/account_manager.h"

#include <algorithm>
#include <utility>

#include "abi/records_accounts.h"
#include "accounts/account.h"
#include "host/log.h"
#include "host/settings_store.h"
#include "platform/files.h"
#include "text/format.h"
#include "text/text_conversion.h"

namespace postrix {

namespace {

constexpr std::u16string_view kProfilePrefix = u"postrix_";
constexpr std::u16string_view kConfigSuffix = u".config";
constexpr size_t kMaxProfileName = 24;
constexpr int32_t kAnswerCapacity = 33;
constexpr size_t kMaxDisplayName = 511;

// Deletes a file of the directory and the temporary files a crash left while
// replacing it; true when none is left (a file already gone counts).
bool deleteWithTemporaries(const std::u16string& directory, const std::u16string& name) {
    bool deleted = platform::deleteFile(platform::joinPath(directory, name));
    for (const std::u16string& temporary : platform::findFiles(directory, name + u".tmp-*"))
        deleted = platform::deleteFile(platform::joinPath(directory, temporary)) && deleted;
    return deleted;
}

// The profile name of a configuration file name, or empty when the file is
// not a profile file of this plug-in.
std::u16string profileNameOfFile(std::u16string_view fileName) {
    if (!fileName.starts_with(kProfilePrefix) || !fileName.ends_with(kConfigSuffix)) return {};
    if (fileName.size() <= kProfilePrefix.size() + kConfigSuffix.size()) return {};
    return std::u16string(
        fileName.substr(kProfilePrefix.size(), fileName.size() - kProfilePrefix.size() - kConfigSuffix.size()));
}

}  // namespace

AccountManager::AccountManager(Host host, uintptr_t moduleHandle, const char16_t* pluginGuid,
                               platform::DialogColours dialogColours)
    : host_(host), moduleHandle_(moduleHandle), pluginGuid_(pluginGuid), dialogColours_(dialogColours) {
    AcmInterfaceRecord record{};
    record.size = sizeof(AcmInterfaceRecord);
    record.handler = onAccountEvent;
    record.context = contextOf(this);
    record.netClass = kNetClass;
    if (host_.call(u"ACM/InterfaceAdd", &record) != 1) logFailure(host_, "Adding ACM interface failed");
    addAccount(u"");
    addProfileAccounts();
}

AccountManager::~AccountManager() {
    host_.call(u"ACM/InterfaceRemove", reinterpret_cast<uintptr_t>(kNetClass));
    for (auto& account : accounts_) account.reset();
    accounts_.clear();
}

void AccountManager::addProfileAccounts() {
    std::u16string directory;
    if (!hostDirectory(host_, directory)) return;
    for (const std::u16string& name : platform::findFiles(directory, u"*.config")) {
        const std::u16string profile = profileNameOfFile(name);
        if (profile.empty()) continue;
        if (const auto problem = profileNameProblem(profile)) {
            logFailure(host_, formatText("Skipping configuration file %s: %s", text::wideToUtf8(name).c_str(),
                                         problem->c_str()));
            continue;
        }
        addAccount(profile);
    }
}

Account* AccountManager::findById(int32_t id) const {
    for (const auto& account : accounts_)
        if (account->id() == id) return account.get();
    return nullptr;
}

int32_t AccountManager::addAccount(std::u16string_view profileName) {
    ProtocolRecord record{};
    record.size = sizeof(ProtocolRecord);
    record.netClass = kNetClass;
    record.shortName = u"Mail";
    record.longName = u"Mail Protocol";
    record.guid = pluginGuid_;
    record.kind = 2;
    record.flags = 0x200000;
    record.version = 5;
    record.iconId = u"Image/Mail";
    if (host_.call(u"JOX/ProtocolAdd", &record) != 0) {
        logFailure(host_, "Adding account failed");
        return -1;
    }
    accounts_.push_back(
        std::make_unique<Account>(host_, moduleHandle_, record.accountId, profileName, dialogColours_));
    return record.accountId;
}

void AccountManager::removeAccount(int32_t id) {
    const auto found = std::find_if(accounts_.begin(), accounts_.end(),
                                    [id](const auto& account) { return account->id() == id; });
    if (found == accounts_.end()) {
        logFailure(host_, formatText("Removing account failed, cannot find account with id = %d", id));
        return;
    }
    if ((*found)->profileName().empty()) {
        logFailure(host_, "Removing account failed, cannot remove main account");
        return;
    }
    const std::u16string fileName = SettingsStore::fileNameFor((*found)->profileName());
    const std::u16string knownIdsName = knownIdsFileName((*found)->profileName());
    const std::u16string imapStateName = imapStateFileName((*found)->profileName());
    std::unique_ptr<Account> account = std::move(*found);
    accounts_.erase(found);
    account.reset();  // tears the account down: none of its checks writes after this

    std::u16string directory;
    const bool haveDirectory = hostDirectory(host_, directory);
    if (!haveDirectory || !platform::deleteFile(platform::joinPath(directory, fileName))) {
        logFailure(host_, formatText("Removing account's configuration file failed, please remove %s by hand",
                                     text::wideToUtf8(fileName).c_str()));
    }
    // The known ids and the IMAP state, and temporary files a crash left
    // while writing them.
    const std::pair<const std::u16string&, const char*> kept[] = {{knownIdsName, "known mail ids"},
                                                                 {imapStateName, "IMAP state"}};
    for (const auto& [name, what] : kept) {
        if (!haveDirectory || !deleteWithTemporaries(directory, name))
            logFailure(host_, formatText("Removing account's %s failed, please remove %s by hand", what,
                                         text::wideToUtf8(name).c_str()));
    }
}

std::optional<std::string> AccountManager::profileNameProblem(std::u16string_view name) const {
    if (name.empty()) return "the profile name is empty";
    if (name.size() > kMaxProfileName) return "the profile name is longer than 24 characters";
    if (name.find(u"..") != std::u16string_view::npos) return "the profile name holds \"..\"";
    for (const char16_t c : name) {
        if (c < 0x20 || c == 0x7F) return "the profile name holds a control character";
        if (std::u16string_view(u"/\\:*?\"<>|").find(c) != std::u16string_view::npos)
            return "the profile name holds one of / \\ : * ? \" < > |";
    }
    for (const auto& account : accounts_)
        if (account->profileName() == name) return "the profile name is already used";
    return std::nullopt;
}

void AccountManager::listAccounts() {
    for (const auto& account : accounts_) {
        std::u16string display = u"Mail [" + text::utf8ToWide(account->currentAddress()) + u"]";
        if (display.size() > kMaxDisplayName) display.resize(kMaxDisplayName);
        const bool isProfile = !account->profileName().empty();
        AccountListRecord record{};
        record.size = sizeof(AccountListRecord);
        record.displayName = display.c_str();
        record.secondText = isProfile ? nullptr : u"Konto główne";
        record.iconId = u"Image/Mail";
        record.netClass = kNetClass;
        record.accountId = account->id();
        record.isProfile = isProfile ? 1 : 0;
        if (host_.call(u"ACM/AddAccount", &record) != 1)
            logFailure(host_, formatText("Adding account %s/%d to accounts list failed", "MAIL", account->id()));
    }
}

void AccountManager::promptForAccount() {
    char16_t answer[kAnswerCapacity] = {};
    InputBoxRecord record{};
    record.size = sizeof(InputBoxRecord);
    record.kind = 2;
    record.answer = answer;
    record.capacity = kAnswerCapacity;
    record.caption = u"Mail";
    record.title = u"Nowy profil";
    record.prompt = u"Podaj nazwę dla nowego profilu, maksymalnie 32 znaki:";
    if (host_.call(u"JOX/ShowMessageBox", &record) != 1) return;
    answer[kAnswerCapacity - 1] = u'\0';
    const std::u16string name = answer;
    if (const auto problem = profileNameProblem(name)) {
        logFailure(host_, formatText("Adding account failed, %s", problem->c_str()));
        return;
    }
    addAccount(name);
}

int64_t AccountManager::onAccountEvent(uintptr_t event, uintptr_t account, uintptr_t context) {
    auto* manager = fromContext<AccountManager>(context);
    const auto* eventRecord = reinterpret_cast<const AccountEventRecord*>(event);
    if (!manager || !eventRecord) return 0;
    switch (eventRecord->code) {
        case kAcmList:
            manager->listAccounts();
            break;
        case kAcmRemove: {
            const auto* record = reinterpret_cast<const AccountRecord*>(account);
            if (record && record->netClass && std::u16string_view(record->netClass) == kNetClass)
                manager->removeAccount(record->accountId);
            break;
        }
        case kAcmAdd:
            manager->promptForAccount();
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace postrix

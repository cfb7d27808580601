#include "services/account_window.h"

#include <algorithm>
#include <cstring>

#include "postrix/abi/records_accounts.h"
#include "core/utf.h"

namespace joxhost {

using postrix::AccountEventRecord;
using postrix::AccountListRecord;
using postrix::AccountRecord;
using postrix::AcmInterfaceRecord;
using postrix::InputBoxRecord;

namespace {
constexpr int32_t kTextAnswerBox = 2;
}

void AccountWindow::install(ServiceRegistry& services) {
    services.addHostService(u"ACM/InterfaceAdd", [this](uintptr_t w, uintptr_t) {
        return interfaceAdd(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"ACM/InterfaceRemove", [this](uintptr_t w, uintptr_t) {
        return interfaceRemove(reinterpret_cast<const char16_t*>(w));
    });
    services.addHostService(u"ACM/AddAccount", [this](uintptr_t w, uintptr_t) {
        return addAccount(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"JOX/ShowMessageBox", [this](uintptr_t w, uintptr_t) {
        return showMessageBox(reinterpret_cast<const void*>(w));
    });
}

int64_t AccountWindow::interfaceAdd(const void* recordPointer) {
    const auto* r = static_cast<const AcmInterfaceRecord*>(recordPointer);
    if (!r || !r->handler || !r->netClass || !*r->netClass) return 0;
    interfaces_[r->netClass] = {r->handler, r->context};
    return 1;
}

int64_t AccountWindow::interfaceRemove(const char16_t* netClass) {
    return netClass && interfaces_.erase(netClass) ? 0 : 1;
}

int64_t AccountWindow::addAccount(const void* recordPointer) {
    const auto* r = static_cast<const AccountListRecord*>(recordPointer);
    if (!r) return 0;
    ListedAccount account;
    account.id = r->accountId;
    account.name = utf8FromHost(r->displayName);
    account.secondText = utf8FromHost(r->secondText);
    account.netClass = utf8FromHost(r->netClass);
    account.isProfile = r->isProfile != 0;
    if (listing_) {
        account.position = static_cast<int>(listing_->size());
        listing_->push_back(account);
    } else {
        reporter_.detail(Event("account-listed").add("id", account.id).add("name", account.name));
    }
    return 1;
}

int64_t AccountWindow::showMessageBox(const void* recordPointer) {
    const auto* r = static_cast<const InputBoxRecord*>(recordPointer);
    if (!r) return 0;
    if (r->kind != kTextAnswerBox) {
        reporter_.emit(Event("message-box").add("kind", r->kind));
        return 0;
    }
    reporter_.emit(Event("prompt")
                       .add("title", utf8FromHost(r->title))
                       .add("text", utf8FromHost(r->prompt))
                       .add("answered", answer_.has_value()));
    asked_ = true;
    if (!answer_ || !r->answer || r->capacity <= 0) return 0;  // nobody to answer: cancelled
    const size_t count = std::min(answer_->size(), static_cast<size_t>(r->capacity) - 1);
    std::memcpy(r->answer, answer_->data(), count * sizeof(char16_t));
    r->answer[count] = 0;
    return 1;
}

void AccountWindow::sendEvent(const std::u16string& netClass, int32_t code, const void* account) {
    const auto it = interfaces_.find(netClass);
    if (it == interfaces_.end()) return;
    AccountEventRecord event{};
    event.size = sizeof event;
    event.code = code;
    PluginCalls::Scope scope(calls_);
    it->second.handler(reinterpret_cast<uintptr_t>(&event), reinterpret_cast<uintptr_t>(account),
                       it->second.context);
}

std::vector<ListedAccount> AccountWindow::list(const std::u16string& netClass) {
    std::vector<ListedAccount> accounts;
    listing_ = &accounts;
    sendEvent(netClass, postrix::kAcmList, nullptr);
    listing_ = nullptr;
    return accounts;
}

bool AccountWindow::add(const std::u16string& netClass, const std::u16string& answer) {
    answer_ = answer;
    asked_ = false;
    sendEvent(netClass, postrix::kAcmAdd, nullptr);
    answer_.reset();
    return asked_;
}

void AccountWindow::remove(const std::u16string& netClass, int32_t id) {
    AccountRecord account{};
    account.size = sizeof account;
    account.netClass = netClass.c_str();
    account.accountId = id;
    sendEvent(netClass, postrix::kAcmRemove, &account);
}

}  // namespace joxhost

#include "store/contacts.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "core/utf.h"

namespace joxhost {

using postrix::ContactInfo;
using postrix::ContactRef;
using postrix::GetFieldRequest;

std::optional<std::string> contactProblem(const std::string& name, const std::string& address) {
    if (name.empty()) return "the contact name is empty";
    for (const std::string* text : {&name, &address}) {
        for (const char c : *text) {
            if (static_cast<unsigned char>(c) < 0x20) return "a contact may not hold tabs, line breaks or control characters";
        }
    }
    if (address.empty()) return "the address is empty";
    return std::nullopt;
}

bool Contacts::load(std::string* error) {
    contacts_.clear();
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        saved_ = 0;
        return true;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            if (error) *error = file_.string() + ":" + std::to_string(number) + ": expected NAME<TAB>ADDRESS";
            return false;
        }
        contacts_.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    saved_ = contacts_.size();
    return true;
}

bool Contacts::save(std::string* error) const {
    std::ostringstream text;
    for (size_t i = 0; i < saved_; ++i) text << contacts_[i].name << '\t' << contacts_[i].address << '\n';
    const std::filesystem::path temporary = file_.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text.str();
        if (!out.flush()) {
            if (error) *error = "cannot write " + temporary.string();
            return false;
        }
    }
    ::chmod(temporary.c_str(), 0600);
    std::error_code ec;
    std::filesystem::rename(temporary, file_, ec);
    if (ec && error) *error = "cannot replace " + file_.string() + ": " + ec.message();
    return !ec;
}

void Contacts::put(const Contact& contact) {
    for (size_t i = 0; i < saved_; ++i) {
        if (contacts_[i].name == contact.name) {
            contacts_[i].address = contact.address;
            return;
        }
    }
    contacts_.insert(contacts_.begin() + static_cast<std::ptrdiff_t>(saved_), contact);
    ++saved_;
}

bool Contacts::remove(const std::string& name) {
    for (size_t i = 0; i < saved_; ++i) {
        if (contacts_[i].name == name) {
            contacts_.erase(contacts_.begin() + static_cast<std::ptrdiff_t>(i));
            --saved_;
            return true;
        }
    }
    return false;
}

const Contact* Contacts::find(const std::string& name) const {
    for (size_t i = 0; i < saved_; ++i)
        if (contacts_[i].name == name) return &contacts_[i];
    return nullptr;
}

std::optional<size_t> Contacts::positionOf(const std::string& name) const {
    for (size_t i = 0; i < saved_; ++i)
        if (contacts_[i].name == name) return i;
    return std::nullopt;
}

size_t Contacts::addTemporary(const Contact& contact) {
    contacts_.push_back(contact);
    return contacts_.size() - 1;
}

ContactRef Contacts::refFor(size_t position) {
    // Inside: the position plus one, so that an all-zero record is no contact.
    ContactRef ref{};
    const uint64_t number = position + 1;
    std::memcpy(ref.bytes, &number, sizeof number);
    return ref;
}

const Contact* Contacts::fromRef(const ContactRef& ref) const {
    uint64_t number = 0;
    std::memcpy(&number, ref.bytes, sizeof number);
    if (number == 0 || number > contacts_.size()) return nullptr;
    return &contacts_[number - 1];
}

void Contacts::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/Extend/GetField", [this](uintptr_t w, uintptr_t) {
        return getField(reinterpret_cast<GetFieldRequest*>(w));
    });
    services.addHostService(u"JOX/CTL/FndContact", [this](uintptr_t w, uintptr_t) {
        return findContact(reinterpret_cast<const ContactRef*>(w));
    });
    services.addHostService(u"JOX/CTL/GetContact", [this](uintptr_t w, uintptr_t l) {
        return getContact(w, reinterpret_cast<ContactInfo*>(l));
    });
}

int64_t Contacts::getField(GetFieldRequest* request) const {
    if (!request || request->size < static_cast<int32_t>(sizeof(GetFieldRequest)) || !request->reply ||
        request->replyCapacity <= 0)
        return 1;
    // Every call writes a terminated text, empty when there is no value.
    request->reply[0] = u'\0';
    const Contact* contact = fromRef(request->contact);
    if (!contact) return 1;
    if (fromHost(request->fieldName) != u"mail") return 0;
    const std::u16string value = toUtf16(contact->address);
    const size_t n = std::min(value.size(), static_cast<size_t>(request->replyCapacity) - 1);
    std::memcpy(request->reply, value.data(), n * sizeof(char16_t));
    request->reply[n] = u'\0';
    return 0;
}

int64_t Contacts::findContact(const ContactRef* ref) const {
    if (!ref || !fromRef(*ref)) return 0;
    uint64_t number = 0;
    std::memcpy(&number, ref->bytes, sizeof number);
    return static_cast<int64_t>(number);
}

int64_t Contacts::getContact(uintptr_t handle, ContactInfo* info) {
    if (!info || handle == 0 || handle > contacts_.size()) return 1;
    names_.push_back(toUtf16(contacts_[handle - 1].name));
    info->displayName = names_.back().c_str();
    return 0;
}

}  // namespace joxhost

// The contact list of the profile (contacts.txt: one "NAME<TAB>ADDRESS"
// line each, UTF-8) and the contact services the plug-in reads it through:
// "JOX/Extend/GetField" (the "mail" field), "JOX/CTL/FndContact" and
// "JOX/CTL/GetContact".
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "postrix/abi/records_ui.h"
#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

struct Contact {
    std::string name;     // may be empty for an address used as a contact of its own
    std::string address;  // the "mail" field
};

class Contacts {
public:
    explicit Contacts(std::filesystem::path file) : file_(std::move(file)) {}

    // Reads the file; a missing file is an empty list. The reason on failure.
    bool load(std::string* error);
    bool save(std::string* error) const;

    // Adds a contact or gives an existing one a new address.
    void put(const Contact& contact);
    bool remove(const std::string& name);
    const Contact* find(const std::string& name) const;
    std::optional<size_t> positionOf(const std::string& name) const;
    // A contact for this session only (not saved); its position.
    size_t addTemporary(const Contact& contact);

    const std::deque<Contact>& all() const { return contacts_; }
    size_t savedCount() const { return saved_; }

    // The host's identifier of the contact at a position, and back.
    static postrix::ContactRef refFor(size_t position);
    const Contact* fromRef(const postrix::ContactRef& ref) const;

    void install(ServiceRegistry& services);

private:
    int64_t getField(postrix::GetFieldRequest* request) const;
    int64_t findContact(const postrix::ContactRef* ref) const;
    int64_t getContact(uintptr_t handle, postrix::ContactInfo* info);

    std::filesystem::path file_;
    std::deque<Contact> contacts_;  // saved ones first
    size_t saved_ = 0;
    std::deque<std::u16string> names_;  // names handed to the plug-in; they stay valid
};

// Why a name or address cannot go into the list, or nothing.
std::optional<std::string> contactProblem(const std::string& name, const std::string& address);

}  // namespace joxhost

// contacts, contact-add and contact-remove: the profile's contact list,
// edited without loading the plug-in.
#include "cli/command_support.h"
#include "store/contacts.h"

namespace joxhost {
namespace {

std::optional<Contacts> loadContacts(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const auto dir = profileDirFor(line, environment, reporter);
    if (!dir) return std::nullopt;
    Contacts contacts(*dir / "contacts.txt");
    std::string error;
    if (!contacts.load(&error)) {
        fail(reporter, kExitFailed, error);
        return std::nullopt;
    }
    return contacts;
}

int save(Contacts& contacts, Reporter& reporter) {
    std::string error;
    return contacts.save(&error) ? kExitOk : fail(reporter, kExitFailed, error);
}

}  // namespace

int contactsCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    auto contacts = loadContacts(line, environment, reporter);
    if (!contacts) return kExitFailed;
    for (const Contact& contact : contacts->all())
        reporter.emit(Event("contact").add("name", contact.name).add("mail", contact.address));
    return kExitOk;
}

int contactAddCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const Contact contact{line.arguments[0], line.arguments[1]};
    if (const auto problem = contactProblem(contact.name, contact.address))
        return fail(reporter, kExitUsage, "contact-add: " + *problem);
    auto contacts = loadContacts(line, environment, reporter);
    if (!contacts) return kExitFailed;
    contacts->put(contact);
    const int status = save(*contacts, reporter);
    if (status == kExitOk) reporter.emit(Event("contact-added").add("name", contact.name).add("mail", contact.address));
    return status;
}

int contactRemoveCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    auto contacts = loadContacts(line, environment, reporter);
    if (!contacts) return kExitFailed;
    if (!contacts->remove(line.arguments[0]))
        return fail(reporter, kExitUsage, "contact-remove: no contact named '" + line.arguments[0] + "'");
    const int status = save(*contacts, reporter);
    if (status == kExitOk) reporter.emit(Event("contact-removed").add("name", line.arguments[0]));
    return status;
}

}  // namespace joxhost

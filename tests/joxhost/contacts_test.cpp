// The profile's contact list and the contact services the plug-in reads it
// through.
#include "store/contacts.h"

#include <gtest/gtest.h>

#include <fstream>

#include "temp_dir.h"
#include "core/utf.h"

namespace joxhost {
namespace {

using postrix::ContactInfo;
using postrix::ContactRef;
using postrix::GetFieldRequest;

class ContactsTest : public testing::Test {
protected:
    ContactsTest() { contacts.install(services); }

    // The "mail" field as the plug-in asks for it, with a reply buffer of
    // `capacity` units.
    std::u16string mailOf(const ContactRef& ref, int32_t capacity = 1023, const char16_t* field = u"mail") {
        std::u16string reply(1024, u'x');
        GetFieldRequest request{};
        request.size = sizeof request;
        request.contact = ref;
        request.fieldName = field;
        request.reply = reply.data();
        request.replyCapacity = capacity;
        services.call(u"JOX/Extend/GetField", reinterpret_cast<uintptr_t>(&request), 0);
        return reply.c_str();
    }

    test::TempDir dir;
    std::filesystem::path file = dir.path() / "contacts.txt";
    Contacts contacts{file};
    ServiceRegistry services;
};

TEST_F(ContactsTest, ListIsKeptInTheProfileFileAcrossLoads) {
    std::string error;
    ASSERT_TRUE(contacts.load(&error));  // no file yet: an empty list
    contacts.put({"Łukasz Żak", "lukasz@example.com"});
    contacts.put({"Ewa", "ewa@example.com"});
    contacts.put({"Łukasz Żak", "lz@example.com"});  // a new address, same place
    contacts.addTemporary({"", "once@example.com"});
    ASSERT_TRUE(contacts.save(&error)) << error;

    Contacts again(file);
    ASSERT_TRUE(again.load(&error));
    ASSERT_EQ(again.all().size(), 2u);
    EXPECT_EQ(again.all()[0].name, "Łukasz Żak");
    EXPECT_EQ(again.all()[0].address, "lz@example.com");
    EXPECT_TRUE(again.remove("Ewa"));
    EXPECT_FALSE(again.remove("Ewa"));
    EXPECT_EQ(again.positionOf("Łukasz Żak"), 0u);

    std::ofstream(file) << "no tab here\n";
    EXPECT_FALSE(again.load(&error));
    EXPECT_NE(error.find(":1: expected NAME<TAB>ADDRESS"), std::string::npos);
    EXPECT_EQ(contactProblem("Jan\tNowak", "a@b"), "a contact may not hold tabs, line breaks or control characters");
    EXPECT_EQ(contactProblem("Jan", ""), "the address is empty");
}

TEST_F(ContactsTest, ServicesAnswerWithTheRecordsOfTheContactMenu) {
    contacts.put({"Jan Nowak", "jan@example.com"});
    const size_t once = contacts.addTemporary({"", "once@example.com"});
    const ContactRef jan = Contacts::refFor(0);
    EXPECT_EQ(mailOf(jan), u"jan@example.com");
    EXPECT_EQ(mailOf(Contacts::refFor(once)), u"once@example.com");
    EXPECT_EQ(mailOf(jan, 4), u"jan");        // cut to the capacity, terminated
    EXPECT_EQ(mailOf(jan, 1023, u"phone"), u"");  // no such field: an empty text
    EXPECT_EQ(mailOf(ContactRef{}), u"");        // no such contact

    const int64_t handle = *services.call(u"JOX/CTL/FndContact", reinterpret_cast<uintptr_t>(&jan), 0);
    ASSERT_NE(handle, 0);
    ContactInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(services.call(u"JOX/CTL/GetContact", static_cast<uintptr_t>(handle), reinterpret_cast<uintptr_t>(&info)),
              0);
    EXPECT_EQ(fromHost(info.displayName), u"Jan Nowak");
    const ContactRef unknown = Contacts::refFor(7);
    EXPECT_EQ(services.call(u"JOX/CTL/FndContact", reinterpret_cast<uintptr_t>(&unknown), 0), 0);
    EXPECT_EQ(services.call(u"JOX/CTL/GetContact", 9, reinterpret_cast<uintptr_t>(&info)), 1);
}

}  // namespace
}  // namespace joxhost

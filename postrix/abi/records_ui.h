// Records of the contact menu: the selected contacts, the menu-rebuild
// event, and the host's contact services "JOX/Extend/GetField",
// "JOX/CTL/FndContact" and "JOX/CTL/GetContact".
#pragma once

#include <cstdint>

#include "abi/abi.h"
#include "abi/record_check.h"

namespace postrix {

// The host's identifier of one contact. Opaque to the plug-in: it is copied
// whole and its address handed back to the host.
struct ContactRef {
    uint8_t bytes[56];
};
POSTRIX_RECORD_SIZE(ContactRef, 56);

// The contacts a menu acts on (lParam of the menu item's click handler).
struct MenuCallbackInfo {
    uint8_t reserved0[32];
    int32_t contactCount;  // 0 or less: none
    int32_t padding;
    const ContactRef* contacts;  // contactCount records, one after another
};
POSTRIX_RECORD_SIZE(MenuCallbackInfo, 48);
POSTRIX_FIELD_AT(MenuCallbackInfo, contactCount, 32);
POSTRIX_FIELD_AT(MenuCallbackInfo, contacts, 40);

// wParam of the "JOX/OnMenuRebuild" hook.
struct MenuRebuildEvent {
    uint64_t reserved0;
    const MenuCallbackInfo* menuInfo;
    uintptr_t menu;  // handed back to addItem
    uint64_t reserved24;
    JoxMenuAddItem addItem;  // puts the item with that id into the menu
};
POSTRIX_RECORD_SIZE(MenuRebuildEvent, 40);
POSTRIX_FIELD_AT(MenuRebuildEvent, menuInfo, 8);
POSTRIX_FIELD_AT(MenuRebuildEvent, menu, 16);
POSTRIX_FIELD_AT(MenuRebuildEvent, addItem, 32);

inline constexpr int32_t kFieldReplyCapacity = 1023;

// wParam of "JOX/Extend/GetField": the host writes the field's value,
// terminated, into reply.
struct GetFieldRequest {
    int32_t size;  // 88
    int32_t padding;
    ContactRef contact;
    const char16_t* fieldName;
    char16_t* reply;
    int32_t replyCapacity;  // in UTF-16 units, terminator included
    int32_t padding2;
};
POSTRIX_RECORD_SIZE(GetFieldRequest, 88);
POSTRIX_FIELD_AT(GetFieldRequest, contact, 8);
POSTRIX_FIELD_AT(GetFieldRequest, fieldName, 64);
POSTRIX_FIELD_AT(GetFieldRequest, reply, 72);
POSTRIX_FIELD_AT(GetFieldRequest, replyCapacity, 80);

// lParam of "JOX/CTL/GetContact"; the host fills the name.
struct ContactInfo {
    int32_t size;  // 136
    int32_t padding;
    uint8_t reserved8[56];
    const char16_t* displayName;
    uint8_t reserved72[64];
};
POSTRIX_RECORD_SIZE(ContactInfo, 136);
POSTRIX_FIELD_AT(ContactInfo, displayName, 64);

}  // namespace postrix

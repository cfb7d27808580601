// Records of the account manager, accounts and their options pages.
#pragma once

#include <cstdint>

#include "abi/abi.h"
#include "abi/record_check.h"

namespace postrix {

// "ACM/InterfaceAdd".
struct AcmInterfaceRecord {
    int32_t size;  // 48
    int32_t padding;
    JoxHandler handler;
    uintptr_t context;
    const char16_t* netClass;
    uint64_t reserved[2];
};
POSTRIX_RECORD_SIZE(AcmInterfaceRecord, 48);
POSTRIX_FIELD_AT(AcmInterfaceRecord, handler, 8);
POSTRIX_FIELD_AT(AcmInterfaceRecord, context, 16);
POSTRIX_FIELD_AT(AcmInterfaceRecord, netClass, 24);

// "JOX/ProtocolAdd": the host writes the new account id.
struct ProtocolRecord {
    int32_t size;  // 120
    int32_t padding;
    const char16_t* netClass;
    const char16_t* shortName;  // "Mail"
    const char16_t* longName;   // "Mail Protocol"
    int32_t accountId;
    int32_t padding2;
    const char16_t* guid;
    int32_t kind;   // 2
    int32_t flags;  // 0x200000
    int32_t version;  // 5
    int32_t padding3;
    uint64_t reserved[6];
    const char16_t* iconId;
};
POSTRIX_RECORD_SIZE(ProtocolRecord, 120);
POSTRIX_FIELD_AT(ProtocolRecord, shortName, 16);
POSTRIX_FIELD_AT(ProtocolRecord, longName, 24);
POSTRIX_FIELD_AT(ProtocolRecord, accountId, 32);
POSTRIX_FIELD_AT(ProtocolRecord, guid, 40);
POSTRIX_FIELD_AT(ProtocolRecord, kind, 48);
POSTRIX_FIELD_AT(ProtocolRecord, flags, 52);
POSTRIX_FIELD_AT(ProtocolRecord, version, 56);
POSTRIX_FIELD_AT(ProtocolRecord, iconId, 112);

// "ACM/AddAccount".
struct AccountListRecord {
    int32_t size;  // 48
    int32_t padding;
    const char16_t* displayName;
    const char16_t* secondText;  // "Konto główne" for the main account, else null
    const char16_t* iconId;
    const char16_t* netClass;
    int32_t accountId;
    int32_t isProfile;  // 1 for a profile account
};
POSTRIX_RECORD_SIZE(AccountListRecord, 48);
POSTRIX_FIELD_AT(AccountListRecord, displayName, 8);
POSTRIX_FIELD_AT(AccountListRecord, secondText, 16);
POSTRIX_FIELD_AT(AccountListRecord, iconId, 24);
POSTRIX_FIELD_AT(AccountListRecord, netClass, 32);
POSTRIX_FIELD_AT(AccountListRecord, accountId, 40);
POSTRIX_FIELD_AT(AccountListRecord, isProfile, 44);

// "JOX/ShowMessageBox" asking for a text answer.
struct InputBoxRecord {
    int32_t size;  // 72
    int32_t kind;  // 2
    char16_t* answer;
    int32_t capacity;  // characters, 33
    int32_t padding;
    const char16_t* caption;  // "Mail"
    const char16_t* title;    // "Nowy profil"
    uint64_t reserved40;
    const char16_t* prompt;
    uint64_t reserved56[2];
};
POSTRIX_RECORD_SIZE(InputBoxRecord, 72);
POSTRIX_FIELD_AT(InputBoxRecord, kind, 4);
POSTRIX_FIELD_AT(InputBoxRecord, answer, 8);
POSTRIX_FIELD_AT(InputBoxRecord, capacity, 16);
POSTRIX_FIELD_AT(InputBoxRecord, caption, 24);
POSTRIX_FIELD_AT(InputBoxRecord, title, 32);
POSTRIX_FIELD_AT(InputBoxRecord, prompt, 48);

enum AccountEventCode : int32_t { kAcmList = 0, kAcmRemove = 2, kAcmAdd = 4 };

// wParam of the account-manager interface handler.
struct AccountEventRecord {
    int32_t size;  // 8
    int32_t code;  // AccountEventCode
};
POSTRIX_RECORD_SIZE(AccountEventRecord, 8);
POSTRIX_FIELD_AT(AccountEventRecord, code, 4);

// lParam of the account-manager interface handler (event 2).
struct AccountRecord {
    int32_t size;  // 48
    int32_t padding;
    uint64_t reserved8[3];
    const char16_t* netClass;
    int32_t accountId;
    int32_t padding2;
};
POSTRIX_RECORD_SIZE(AccountRecord, 48);
POSTRIX_FIELD_AT(AccountRecord, netClass, 32);
POSTRIX_FIELD_AT(AccountRecord, accountId, 40);

// "JOX/PFSetInfo".
struct LoginInfoRecord {
    int32_t size;  // 40
    int32_t padding;
    const char16_t* login;
    const char16_t* profile;  // "Default"
    const char16_t* netClass;
    int32_t accountId;
    int32_t padding2;
};
POSTRIX_RECORD_SIZE(LoginInfoRecord, 40);
POSTRIX_FIELD_AT(LoginInfoRecord, login, 8);
POSTRIX_FIELD_AT(LoginInfoRecord, profile, 16);
POSTRIX_FIELD_AT(LoginInfoRecord, netClass, 24);
POSTRIX_FIELD_AT(LoginInfoRecord, accountId, 32);

// lParam of "JOX/AddOptionsPage" (wParam is the module handle).
struct OptionsPageRecord {
    int32_t size;  // 80
    int32_t padding;
    const char16_t* pageId;
    const char16_t* groupId;  // "JOX/Group/Network"
    const char16_t* caption;
    uint64_t reserved32[2];
    const char16_t* iconId;
    JoxHandler handler;
    uintptr_t context;
    uint64_t reserved72;
};
POSTRIX_RECORD_SIZE(OptionsPageRecord, 80);
POSTRIX_FIELD_AT(OptionsPageRecord, pageId, 8);
POSTRIX_FIELD_AT(OptionsPageRecord, groupId, 16);
POSTRIX_FIELD_AT(OptionsPageRecord, caption, 24);
POSTRIX_FIELD_AT(OptionsPageRecord, iconId, 48);
POSTRIX_FIELD_AT(OptionsPageRecord, handler, 56);
POSTRIX_FIELD_AT(OptionsPageRecord, context, 64);

enum PageEventCode : int32_t {
    kPageShow = 1,
    kPageHide = 2,
    kPageClose = 3,
    kPageApply = 4,
    kPageCancel = 5,
    kPageMove = 6,
};

// wParam of an options-page handler.
struct PageEventRecord {
    int32_t size;  // 1600
    int32_t padding;
    const char16_t* pageId;
    int32_t code;  // PageEventCode
    int32_t padding2;
    uintptr_t parentWindow;
    uint64_t reserved32;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    uint64_t reserved56;
    char16_t title[256];        // capacity 255 characters with the terminator
    char16_t description[511];  // capacity 511 characters with the terminator
    char16_t padding3;
};
POSTRIX_RECORD_SIZE(PageEventRecord, 1600);
POSTRIX_FIELD_AT(PageEventRecord, code, 16);
POSTRIX_FIELD_AT(PageEventRecord, parentWindow, 24);
POSTRIX_FIELD_AT(PageEventRecord, x, 40);
POSTRIX_FIELD_AT(PageEventRecord, y, 44);
POSTRIX_FIELD_AT(PageEventRecord, width, 48);
POSTRIX_FIELD_AT(PageEventRecord, height, 52);
POSTRIX_FIELD_AT(PageEventRecord, title, 64);
POSTRIX_FIELD_AT(PageEventRecord, description, 576);

}  // namespace postrix

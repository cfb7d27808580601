// The host's call-by-name interface as the plug-in uses it: a thin value
// wrapper around the HostTable handed to pluginLoad.
#pragma once

#include <cstdint>

#include "abi/abi.h"

namespace postrix {

class Host {
public:
    Host() = default;
    explicit Host(HostTable* table) : table_(table) {}

    HostTable* table() const { return table_; }

    int64_t call(const char16_t* service, uintptr_t wParam = 0, uintptr_t lParam = 0) const;

    // Calls a service with a record as wParam.
    template <typename Record>
    int64_t call(const char16_t* service, Record* record, uintptr_t lParam = 0) const {
        return call(service, reinterpret_cast<uintptr_t>(record), lParam);
    }

    bool serviceExists(const char16_t* service) const;
    int64_t createService(const char16_t* name, JoxHandler handler, uintptr_t context) const;
    void destroyService(int64_t handle) const;
    int64_t hookEvent(const char16_t* event, JoxHandler handler, uintptr_t context) const;
    void unhookEvent(int64_t hook) const;

private:
    HostTable* table_ = nullptr;
};

// The address of an object as a handler context, and back.
template <typename T>
uintptr_t contextOf(T* object) {
    return reinterpret_cast<uintptr_t>(object);
}
template <typename T>
T* fromContext(uintptr_t context) {
    return reinterpret_cast<T*>(context);
}

}  // namespace postrix

// "JOX/ProtocolAdd", "JOX/ProtocolDel" and "JOX/PFSetInfo": protocol
// instances with host-assigned ids and the login each one shows.
#pragma once

#include <map>
#include <string>

#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

class Protocols {
public:
    struct Instance {
        std::string netClass;
        std::string shortName;
        std::string longName;
        std::string login;
    };

    explicit Protocols(Reporter& reporter) : reporter_(reporter) {}

    void install(ServiceRegistry& services);

    int64_t add(void* record);
    int64_t remove(const char16_t* netClass, int32_t id);
    int64_t setInfo(const void* record);

    const std::map<int32_t, Instance>& instances() const { return instances_; }
    int32_t lastAdded() const { return nextId_ - 1; }

private:
    Reporter& reporter_;
    std::map<int32_t, Instance> instances_;
    int32_t nextId_ = 1;
};

}  // namespace joxhost

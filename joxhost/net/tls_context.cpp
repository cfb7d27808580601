#include "net/tls_context.h"

#include <dlfcn.h>

#include "core/beside_executable.h"

namespace joxhost {

std::filesystem::path defaultTlsModule() {
    return besideExecutable("joxhost-tls.so");
}

std::unique_ptr<TlsContext> makeTlsContext(const std::filesystem::path& module, const std::string& caFile,
                                           std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return nullptr;
    };
    // Loaded for good: OpenSSL leaves exit handlers in it. A second dlopen
    // finds it loaded.
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* why = dlerror();
        return fail("cannot load the TLS module " + module.string() + ": " + (why ? why : "unknown error"));
    }
    auto* make = reinterpret_cast<MakeTlsContext*>(dlsym(handle, kMakeTlsContextSymbol));
    if (!make) return fail(module.string() + " is not joxhost's TLS module");
    std::unique_ptr<TlsContext> context;
    std::string problem;
    make(caFile, context, problem);
    if (!context) return fail(problem);
    return context;
}

}  // namespace joxhost

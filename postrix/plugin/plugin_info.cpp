#include "plugin/plugin_info.h"

namespace postrix {

namespace {

constexpr uint64_t packVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    return (uint64_t{a} << 48) | (uint64_t{b} << 32) | (uint64_t{c} << 16) | uint64_t{d};
}

const PluginInfo kPluginInfo = {
    .size = sizeof(PluginInfo),
    .padding = 0,
    .name = u"Mail Protocol",
    .description = u"POP3/SMTP with SSL/TLS",
    .copyright = u"© 2026 The postrix authors",
    .author = u"The postrix authors",
    .authorEmail = u"postrix@localhost",
    .homepage = u"https://localhost/postrix",
    .extra = u"",
    .version = packVersion(2, 0, 0, 1200),
    .apiVersion = packVersion(1, 0, 6, 0),
    .flags = 1,
    .reserved = 0,
    .guid = kPluginGuid,
    .reserved2 = {},
};
static_assert(packVersion(2, 0, 0, 1200) == 0x00020000000004B0ull);
static_assert(packVersion(1, 0, 6, 0) == 0x0001000000060000ull);

}  // namespace

const PluginInfo& pluginInfo() { return kPluginInfo; }

}  // namespace postrix

// Compile-time checks that a host record has the layout the host expects.
#pragma once

#include <cstddef>

#define POSTRIX_RECORD_SIZE(Type, bytes) static_assert(sizeof(Type) == (bytes), #Type " size")
#define POSTRIX_FIELD_AT(Type, field, offset) \
    static_assert(offsetof(Type, field) == (offset), #Type "::" #field " offset")

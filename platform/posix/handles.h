// What the HANDLE values of this layer point to. Every handle is a heap object
// that starts with its kind, so a call given a handle of the wrong kind (a
// search handle passed to CloseHandle, say) refuses it instead of misusing it.
#pragma once

#include <cstdint>

#include "platform/posix/win32_subset.h"

enum class HandleKind : std::uint32_t {
    File = 0x454C4946u,    // "FILE"
    Search = 0x48435253u,  // "SRCH"
};

struct HandleHeader {
    explicit HandleHeader(HandleKind k) : kind(k) {}
    HandleKind kind;
};

// The object behind handle when it is a live handle of the given kind, else null.
template <typename Object>
Object* HandleObject(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto* header = static_cast<HandleHeader*>(handle);
    if (header->kind != Object::kKind)
        return nullptr;
    return static_cast<Object*>(header);
}

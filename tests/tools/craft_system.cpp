// Archives from the system's compound-file library, written the way any
// Windows program writes one: a direct-mode storage, one stream after another.
#include "tests/tools/craft_archive.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>

std::string WriteWithSystem(const std::string& path, const std::vector<CraftStream>& streams) {
    const DWORD mode = STGM_DIRECT | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    const std::wstring wide(path.begin(), path.end());
    IStorage* storage = nullptr;
    if (StgCreateStorageEx(wide.c_str(), STGM_CREATE | mode, STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage,
                           reinterpret_cast<void**>(&storage)) != S_OK) {
        return "StgCreateStorageEx failed";
    }
    std::string error;
    for (const CraftStream& s : streams) {
        const std::wstring name(s.name.begin(), s.name.end());
        IStream* stream = nullptr;
        if (storage->CreateStream(name.c_str(), STGM_CREATE | mode, 0, 0, &stream) != S_OK) {
            error = "CreateStream failed";
            break;
        }
        const std::uint8_t none = 0;  // the library wants a buffer even for no bytes
        ULONG written = 0;
        const auto size = static_cast<ULONG>(s.content.size());
        if (stream->Write(s.content.empty() ? &none : s.content.data(), size, &written) != S_OK || written != size) {
            error = "Write failed";
        }
        stream->Release();
        if (!error.empty()) break;
    }
    storage->Release();
    return error;
}
#else
std::string WriteWithSystem(const std::string&, const std::vector<CraftStream>&) {
    return "the system's library is there on Windows only";
}
#endif

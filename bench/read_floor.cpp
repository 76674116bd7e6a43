// The part of packing a mod that no Windows packer can leave out: the count
// walk of the mod directory, then a second walk that opens each file without
// sharing, asks its size, reads it whole into a buffer of its own size and
// closes it, with the same calls the packer makes. Nothing is written. Under
// Wine each open, the first use of an open file and each close is a round
// trip to the Wine server, so this is the floor the packer's time under Wine
// is measured against.
//
//   read_floor FOLDER MODNAME
//
// Reads MODNAME.tvx and every file under MODNAME in FOLDER; prints
// "files N bytes B" and ends with 0, or prints a message and ends with 1.
// Built by the Windows tree (target read_floor) and run by run_bench.py.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

unsigned long long g_files = 0;
unsigned long long g_bytes = 0;

[[noreturn]] void Fail(const std::wstring& what)
{
    std::fwprintf(stderr, L"read_floor: %ls\n", what.c_str());
    std::exit(1);
}

void ReadOne(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail(L"cannot open " + path);
    DWORD size = GetFileSize(file, nullptr);
    void* buffer = std::malloc(size == 0 ? 1 : size);
    DWORD read = 0;
    BOOL ok = buffer != nullptr && ReadFile(file, buffer, size, &read, nullptr) && read == size;
    std::free(buffer);
    CloseHandle(file);
    if (!ok)
        Fail(L"cannot read " + path);
    ++g_files;
    g_bytes += size;
}

// Walks directory depth first; reads each file when read is set, else only
// counts it.
void Walk(const std::wstring& directory, bool read)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW((directory + L"\\*").c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        Fail(L"cannot list " + directory);
    do {
        std::wstring name = entry.cFileName;
        bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isDirectory && (name == L"." || name == L".."))
            continue;
        std::wstring child = directory + L"\\" + name;
        if (isDirectory)
            Walk(child, read);
        else if (read)
            ReadOne(child);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        Fail(L"usage: read_floor FOLDER MODNAME");
    if (!SetCurrentDirectoryW(argv[1]))
        Fail(std::wstring(L"cannot enter ") + argv[1]);
    std::wstring base = argv[2];
    Walk(base, false);
    ReadOne(base + L".tvx");
    Walk(base, true);
    std::printf("files %llu bytes %llu\n", g_files, g_bytes);
    return 0;
}

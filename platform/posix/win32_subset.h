// Our own declarations of the Win32 subset the packer is written against, for
// systems other than Windows. Names, values and meanings follow Win32 so that
// the packer compiles unchanged; text is UTF-16 (char16_t), never wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Basic types --------------------------------------------------------------

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef std::uint32_t UINT;
typedef std::int32_t LONG;
typedef std::int32_t HRESULT;
typedef void* HANDLE;
typedef void* LPVOID;
typedef int errno_t;

#define TEXT(quote) u##quote
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define FILE_ATTRIBUTE_READONLY 0x01u
#define FILE_ATTRIBUTE_HIDDEN 0x02u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define GENERIC_READ 0x80000000u
#define OPEN_EXISTING 3u

// Directory enumeration ----------------------------------------------------

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

enum FINDEX_INFO_LEVELS { FindExInfoStandard, FindExInfoBasic };
enum FINDEX_SEARCH_OPS { FindExSearchNameMatch, FindExSearchLimitToDirectories };

// Entries come sorted as NTFS sorts them (ordinal comparison of upper-cased
// UTF-16), "." and ".." first, so walks number files as they would on Windows.
HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, void* findData,
                        FINDEX_SEARCH_OPS search, void* filter, DWORD flags);
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* findData);
BOOL FindClose(HANDLE find);

// The last error ------------------------------------------------------------

// The code of the call of this layer that failed last, kept per thread: an
// errno value, which strerror() describes, or one of the codes below, which
// no errno value names. SetLastError(0) before a call tells a failure that
// set no code from one that did.
DWORD GetLastError();
void SetLastError(DWORD code);

// CreateFileW found something other than a regular file at the name.
constexpr DWORD kErrorIsFifo = 0x10001;
constexpr DWORD kErrorIsDevice = 0x10002;
constexpr DWORD kErrorIsSocket = 0x10003;
constexpr DWORD kErrorNotRegular = 0x10004;
// ReadFile found the file longer than it was when it was opened.
constexpr DWORD kErrorChanged = 0x10005;

// Current directory, files -------------------------------------------------

DWORD GetCurrentDirectoryW(DWORD capacity, LPWSTR buffer);
BOOL SetCurrentDirectoryW(LPCWSTR path);

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, void* security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileW(LPCWSTR path);

// Run-time library: path splitting and formatting ---------------------------

// Splits into drive (always empty here), folder with its trailing separator,
// base name and extension (dot included), as the Windows run-time does.
errno_t _wsplitpath_s(const WCHAR* path, WCHAR* drive, std::size_t driveCapacity, WCHAR* dir,
                      std::size_t dirCapacity, WCHAR* name, std::size_t nameCapacity, WCHAR* ext,
                      std::size_t extCapacity);

// Formats at most `count` units plus a terminating NUL into `buffer`; returns
// -1 when the text was cut. Understands %s (UTF-16 string), %u and %%.
int _snwprintf_s(WCHAR* buffer, std::size_t capacity, std::size_t count, const WCHAR* format, ...);

// User interface answers the packer tells apart ------------------------------

#define MB_YESNOCANCEL 0x03u
#define MB_ICONEXCLAMATION 0x30u
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Structured storage ------------------------------------------------------

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
typedef const GUID& REFIID;
extern const GUID IID_IStorage;
extern const GUID IID_IStream;
extern const GUID IID_IUnknown;

#define S_OK (static_cast<HRESULT>(0))
#define S_FALSE (static_cast<HRESULT>(1))
#define E_NOINTERFACE (static_cast<HRESULT>(0x80004002u))
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057u))
#define STG_E_INVALIDFUNCTION (static_cast<HRESULT>(0x80030001u))
#define STG_E_FILENOTFOUND (static_cast<HRESULT>(0x80030002u))
#define STG_E_PATHNOTFOUND (static_cast<HRESULT>(0x80030003u))
#define STG_E_ACCESSDENIED (static_cast<HRESULT>(0x80030005u))
#define STG_E_INVALIDHANDLE (static_cast<HRESULT>(0x80030006u))
#define STG_E_INSUFFICIENTMEMORY (static_cast<HRESULT>(0x80030008u))
#define STG_E_INVALIDPOINTER (static_cast<HRESULT>(0x80030009u))
#define STG_E_WRITEFAULT (static_cast<HRESULT>(0x8003001Du))
#define STG_E_FILEALREADYEXISTS (static_cast<HRESULT>(0x80030050u))
#define STG_E_INVALIDPARAMETER (static_cast<HRESULT>(0x80030057u))
#define STG_E_MEDIUMFULL (static_cast<HRESULT>(0x80030070u))
#define STG_E_INVALIDNAME (static_cast<HRESULT>(0x800300FCu))
#define STG_E_INVALIDFLAG (static_cast<HRESULT>(0x800300FFu))
#define STG_E_REVERTED (static_cast<HRESULT>(0x80030102u))
#define STG_E_DOCFILETOOLARGE (static_cast<HRESULT>(0x80030111u))

#define STGM_READWRITE 0x00000002u
#define STGM_SHARE_EXCLUSIVE 0x00000010u
#define STGM_CREATE 0x00001000u
#define STGM_TRANSACTED 0x00010000u
#define STGFMT_STORAGE 0u

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct ISequentialStream : IUnknown {
    virtual HRESULT Read(void* data, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(const void* data, ULONG size, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
protected:
    ~IStream() = default;
};

struct IStorage : IUnknown {
    virtual HRESULT CreateStream(const WCHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                                 IStream** stream) = 0;

protected:
    ~IStorage() = default;
};

struct STGOPTIONS;
typedef void* PSECURITY_DESCRIPTOR;

HRESULT StgCreateStorageEx(const WCHAR* name, DWORD mode, DWORD format, DWORD attrs,
                           STGOPTIONS* options, PSECURITY_DESCRIPTOR security, REFIID riid,
                           void** object);

// What the Windows and the POSIX storage adapters do alike: check the
// arguments of the calls the packer makes, pass them to our compound-file
// writer, and answer with the structured-storage result codes.
#pragma once

#include <memory>
#include <new>
#include <string>

#include "platform/compound_file/writer.h"
#include "platform/platform.h"

// How the final Release() of the last storage created in this process ended:
// S_OK when the archive is complete under its name; else a failure result
// (and the system's code, 0 when none). S_FALSE until a storage that keeps
// it has been released. The packer reports success before that Release(),
// so a front end that can say more looks here afterwards.
struct ArchiveEnd {
    HRESULT result;
    DWORD code;
    bool named;  // the file took the archive's name (false: a file there is another)
};
inline ArchiveEnd& ArchiveCompletion()
{
    static ArchiveEnd end = {S_FALSE, 0, true};
    return end;
}

// The only mode archives and their streams are opened in (STGM_CREATE aside):
// direct, exclusive, read-write.
constexpr DWORD kSupportedMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

inline HRESULT StorageResult(cfb::Error error)
{
    switch (error) {
    case cfb::Error::None: return S_OK;
    case cfb::Error::FileExists:
    case cfb::Error::NameExists: return STG_E_FILEALREADYEXISTS;
    case cfb::Error::FileNotFound: return STG_E_FILENOTFOUND;
    case cfb::Error::PathNotFound: return STG_E_PATHNOTFOUND;
    case cfb::Error::AccessDenied:
    case cfb::Error::StreamAlreadyOpen: return STG_E_ACCESSDENIED;
    case cfb::Error::MediumFull: return STG_E_MEDIUMFULL;
    case cfb::Error::WriteFault: return STG_E_WRITEFAULT;
    case cfb::Error::OutOfMemory: return STG_E_INSUFFICIENTMEMORY;
    case cfb::Error::InvalidName: return STG_E_INVALIDNAME;
    case cfb::Error::TooLarge: return STG_E_DOCFILETOOLARGE;
    case cfb::Error::NoStreamOpen:
    case cfb::Error::Closed: return STG_E_REVERTED;
    case cfb::Error::InvalidArgument: return STG_E_INVALIDPARAMETER;
    }
    return STG_E_WRITEFAULT;
}

// IStorage::CreateStream's checks, then a new stream in the writer.
inline HRESULT CreateWriterStream(cfb::Writer& writer, const WCHAR* name, DWORD mode,
                                  DWORD reserved1, DWORD reserved2)
{
    if (!name) return STG_E_INVALIDNAME;
    if (reserved1 != 0 || reserved2 != 0) return STG_E_INVALIDPARAMETER;
    if ((mode & ~static_cast<DWORD>(STGM_CREATE)) != kSupportedMode) return STG_E_INVALIDFLAG;
    std::size_t length = 0;
    while (length <= cfb::kMaxNameUnits && name[length] != 0) ++length;
    if (length > cfb::kMaxNameUnits) return STG_E_INVALIDNAME;
    try {
        std::u16string units(length, u'\0');
        for (std::size_t i = 0; i < length; ++i) units[i] = static_cast<char16_t>(name[i]);
        return StorageResult(writer.CreateStream(units));
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

// ISequentialStream::Write on the writer's open stream.
inline HRESULT WriteWriterStream(cfb::Writer& writer, const void* data, ULONG size, ULONG* written)
{
    if (written) *written = 0;
    if (!data && size != 0) return STG_E_INVALIDPOINTER;
    const cfb::Error error = writer.Write(data, size);
    if (error == cfb::Error::None && written) *written = size;
    return StorageResult(error);
}

// The archive's file sink, keeping the system's code of a call that failed in
// it, so that a failed storage call can leave that code as the last error the
// way a failed system call does.
class CodeKeepingSink final : public cfb::WriteSink {
public:
    explicit CodeKeepingSink(std::unique_ptr<cfb::WriteSink>&& file) : file_(std::move(file)) {}

    cfb::Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        return Keep(file_->WriteAt(offset, data, size));
    }
    cfb::Error Reserve(std::uint64_t size) override { return Keep(file_->Reserve(size)); }
    cfb::Error Close() override { return Keep(file_->Close()); }

    // The code kept since the last call, 0 when no system call failed.
    DWORD TakeCode() {
        const DWORD code = code_;
        code_ = 0;
        return code;
    }

private:
    // Read at once: the file sink returns right after the call that failed.
    cfb::Error Keep(cfb::Error error) {
        if (error != cfb::Error::None && error != cfb::Error::Closed && code_ == 0) code_ = GetLastError();
        return error;
    }

    std::unique_ptr<cfb::WriteSink> file_;
    DWORD code_ = 0;
};

// A failed call leaves as the last error the code of the system call that
// failed within it, or 0 when the failure was the archive's own (a name, the
// format's size limit), never a code left over from an earlier call.
inline HRESULT LeaveLastError(HRESULT result, CodeKeepingSink& sink)
{
    const DWORD code = sink.TakeCode();
    if (result != S_OK) SetLastError(code);
    return result;
}

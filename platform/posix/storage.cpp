// StgCreateStorageEx, IStorage and IStream for the packer on POSIX systems:
// a new compound file written by our own component, one stream at a time.
//
// A stream holds a reference on its storage, so the archive is completed when
// the last of the two is released, whatever the order. The storage's final
// Release() writes the tables and the header and only then gives the file
// its name (file_io.h): until then an archive being replaced stays as it
// was, and a failed, interrupted or killed packer leaves nothing. Its result
// is kept for ArchiveCompletion(). CreateStream() with a name already present
// fails with STG_E_FILEALREADYEXISTS: streams are never replaced.
//
// The packer does not change the working directory between the creation and
// the final Release(), so the archive's name as given stays valid.

#include <errno.h>

#include <cstring>
#include <new>
#include <string>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/writer.h"
#include "platform/posix/text.h"
#include "platform/posix/win32_subset.h"
#include "platform/storage_calls.h"

namespace {

// The system's code behind a failure of the final Release(): the file sink
// leaves errno as the failed call set it.
DWORD SystemCode(cfb::Error error)
{
    const bool fromSystem = error == cfb::Error::MediumFull || error == cfb::Error::WriteFault ||
                            error == cfb::Error::AccessDenied || error == cfb::Error::PathNotFound ||
                            error == cfb::Error::FileExists;
    return fromSystem ? static_cast<DWORD>(errno) : 0;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

class Storage;

class Stream final : public IStream {
public:
    explicit Stream(Storage* storage) : storage_(storage) {}

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override;
    HRESULT Read(void*, ULONG, ULONG* read) override {
        if (read) *read = 0;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT Write(const void* data, ULONG size, ULONG* written) override;

private:
    ULONG references_ = 1;
    Storage* storage_;
};

class Storage final : public IStorage {
public:
    explicit Storage(std::unique_ptr<CodeKeepingSink> sink) : codes_(sink.get()), writer_(std::move(sink)) {}

    cfb::Error Start() { return writer_.Start(); }
    cfb::Writer& Writer() { return writer_; }
    CodeKeepingSink& Codes() { return *codes_; }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return STG_E_INVALIDPOINTER;
        *object = nullptr;
        if (!SameGuid(riid, IID_IUnknown) && !SameGuid(riid, IID_IStorage)) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IStorage*>(this);
        return S_OK;
    }

    ULONG AddRef() override { return ++references_; }

    ULONG Release() override {
        if (--references_ != 0) return references_;
        const bool failedBefore = writer_.Failure() != cfb::Error::None;
        const cfb::Error error = writer_.Finish();  // abandons instead when a write failed
        ArchiveCompletion() = {StorageResult(error), failedBefore ? 0 : SystemCode(error), error == cfb::Error::None};
        delete this;
        return 0;
    }

    HRESULT CreateStream(const WCHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                         IStream** stream) override {
        if (!stream) return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        Stream* created = new (std::nothrow) Stream(this);
        if (!created) return STG_E_INSUFFICIENTMEMORY;
        HRESULT result = LeaveLastError(CreateWriterStream(writer_, name, mode, reserved1, reserved2), *codes_);
        if (result != S_OK) {
            delete created;
            return result;
        }
        AddRef();  // the stream's hold on its storage
        *stream = created;
        return S_OK;
    }

private:
    ~Storage() = default;

    ULONG references_ = 1;
    CodeKeepingSink* codes_;  // owned by the writer
    cfb::Writer writer_;
};

HRESULT Stream::QueryInterface(REFIID riid, void** object) {
    if (!object) return STG_E_INVALIDPOINTER;
    *object = nullptr;
    if (!SameGuid(riid, IID_IUnknown) && !SameGuid(riid, IID_IStream)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IStream*>(this);
    return S_OK;
}

ULONG Stream::Release() {
    if (--references_ != 0) return references_;
    if (storage_->Writer().StreamOpen()) storage_->Writer().CloseStream();
    storage_->Release();
    delete this;
    return 0;
}

HRESULT Stream::Write(const void* data, ULONG size, ULONG* written) {
    return LeaveLastError(WriteWriterStream(storage_->Writer(), data, size, written), storage_->Codes());
}

}  // namespace

HRESULT StgCreateStorageEx(const WCHAR* name, DWORD mode, DWORD format, DWORD attrs, STGOPTIONS* options,
                           PSECURITY_DESCRIPTOR security, REFIID riid, void** object) {
    if (!object) return STG_E_INVALIDPOINTER;
    *object = nullptr;
    if (!name) return STG_E_INVALIDNAME;
    if (format != STGFMT_STORAGE || attrs != 0 || options || security) return STG_E_INVALIDPARAMETER;
    if (!SameGuid(riid, IID_IStorage) && !SameGuid(riid, IID_IUnknown)) return E_NOINTERFACE;
    if ((mode & ~STGM_CREATE) != kSupportedMode) return STG_E_INVALIDFLAG;

    std::string path;
    try {
        path = ToNativePath(name);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    cfb::Error error;
    const bool replace = (mode & STGM_CREATE) != 0;
    std::unique_ptr<cfb::WriteSink> sink =
        cfb::CreateFileSink(path, replace ? cfb::CreateMode::Replace : cfb::CreateMode::New, error);
    if (!sink) return StorageResult(error);

    // Nothing has a name yet: whatever fails from here leaves no file.
    std::unique_ptr<CodeKeepingSink> codes(new (std::nothrow) CodeKeepingSink(std::move(sink)));
    Storage* storage = codes ? new (std::nothrow) Storage(std::move(codes)) : nullptr;
    if (!storage) return STG_E_INSUFFICIENTMEMORY;
    if ((error = storage->Start()) != cfb::Error::None) {
        const DWORD code = storage->Codes().TakeCode();
        storage->Writer().Abandon();
        storage->Release();
        SetLastError(code);
        return StorageResult(error);
    }
    *object = static_cast<IStorage*>(storage);
    return S_OK;
}

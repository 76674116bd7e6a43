// CfStgCreateStorageEx: the system's StgCreateStorageEx contract for the
// calls the packer makes, over our own compound-file writer. It returns real
// COM objects: an IStorage whose CreateStream gives an IStream that writes.
// The other methods answer STG_E_INVALIDFUNCTION (Commit succeeds: in direct
// mode there is nothing to commit).
//
// A stream holds a reference on its storage, so the archive is completed when
// the last of the two is released, whatever the order. The storage's final
// Release() writes the tables and the header; after any failed write it
// leaves the header zeroed, so the file is never taken for a valid archive.
// CreateStream() with a name already present fails with
// STG_E_FILEALREADYEXISTS: streams are never replaced.

#include "platform/windows/win32.h"

#ifndef TVP_SYSTEM_STORAGE

#include <objidl.h>

#include <new>
#include <string>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/writer.h"
#include "platform/storage_calls.h"

namespace {

class Storage;

class Stream final : public IStream {
public:
    explicit Stream(Storage* storage) : storage_(storage) {}
    virtual ~Stream() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_ISequentialStream && riid != IID_IStream) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IStream*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override;

    // ISequentialStream
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) override {
        if (read) *read = 0;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override;

    // IStream
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
        if (clone) *clone = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

private:
    LONG references_ = 1;
    Storage* storage_;
};

class Storage final : public IStorage {
public:
    explicit Storage(std::unique_ptr<CodeKeepingSink> sink) : codes_(sink.get()), writer_(std::move(sink)) {}
    virtual ~Storage() = default;

    cfb::Error Start() { return writer_.Start(); }
    cfb::Writer& Writer() { return writer_; }
    CodeKeepingSink& Codes() { return *codes_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IStorage) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IStorage*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left != 0) return static_cast<ULONG>(left);
        const cfb::Error error = writer_.Finish();  // abandons instead when a write failed
        // The file has had the archive's name since it was created.
        ArchiveCompletion() = {StorageResult(error), error == cfb::Error::None ? 0 : GetLastError(), true};
        delete this;
        return 0;
    }

    // IStorage
    HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
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
    HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream** stream) override {
        if (stream) *stream = nullptr;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage** storage) override {
        if (storage) *storage = nullptr;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD,
                                          IStorage** storage) override {
        if (storage) *storage = nullptr;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(DWORD, const IID*, SNB, IStorage*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** elements) override {
        if (elements) *elements = nullptr;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR*, const OLECHAR*) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*,
                                              const FILETIME*) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE SetStateBits(DWORD, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return STG_E_INVALIDFUNCTION; }

private:
    LONG references_ = 1;
    CodeKeepingSink* codes_;  // owned by the writer
    cfb::Writer writer_;
};

ULONG STDMETHODCALLTYPE Stream::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left != 0) return static_cast<ULONG>(left);
    if (storage_->Writer().StreamOpen()) storage_->Writer().CloseStream();
    storage_->Release();
    delete this;
    return 0;
}

HRESULT STDMETHODCALLTYPE Stream::Write(const void* data, ULONG size, ULONG* written) {
    return LeaveLastError(WriteWriterStream(storage_->Writer(), data, size, written), storage_->Codes());
}

}  // namespace

HRESULT CfStgCreateStorageEx(const WCHAR* name, DWORD mode, DWORD format, DWORD attrs, STGOPTIONS* options,
                             PSECURITY_DESCRIPTOR security, REFIID riid, void** object) {
    if (!object) return STG_E_INVALIDPOINTER;
    *object = nullptr;
    if (!name) return STG_E_INVALIDNAME;
    if (format != STGFMT_STORAGE || attrs != 0 || options || security) return STG_E_INVALIDPARAMETER;
    if (riid != IID_IStorage && riid != IID_IUnknown) return E_NOINTERFACE;
    if ((mode & ~static_cast<DWORD>(STGM_CREATE)) != kSupportedMode) return STG_E_INVALIDFLAG;

    cfb::Error error;
    const bool replace = (mode & STGM_CREATE) != 0;
    std::unique_ptr<cfb::WriteSink> sink =
        cfb::CreateFileSink(name, replace ? cfb::CreateMode::Replace : cfb::CreateMode::New, error);
    if (!sink) return StorageResult(error);

    // A file this call created is removed again when the rest fails. A file
    // that existed is never removed.
    std::unique_ptr<CodeKeepingSink> codes(new (std::nothrow) CodeKeepingSink(std::move(sink)));
    Storage* storage = codes ? new (std::nothrow) Storage(std::move(codes)) : nullptr;
    if (!storage) {
        if (!replace) DeleteFileW(name);
        return STG_E_INSUFFICIENTMEMORY;
    }
    if ((error = storage->Start()) != cfb::Error::None) {
        const DWORD code = storage->Codes().TakeCode();
        storage->Writer().Abandon();
        storage->Release();
        if (!replace) DeleteFileW(name);
        SetLastError(code);
        return StorageResult(error);
    }
    *object = static_cast<IStorage*>(storage);
    return S_OK;
}

#endif  // TVP_SYSTEM_STORAGE

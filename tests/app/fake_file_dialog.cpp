#include "tests/app/fake_file_dialog.h"

#include <cstring>

namespace {

// IUnknown for the fakes: reference counting and the one interface each has.
template <class Interface>
class FakeUnknown : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (left == 0) {
            LastReleased();
            delete this;
        }
        return left;
    }
    virtual ~FakeUnknown() = default;

protected:
    virtual void LastReleased() {}

private:
    ULONG references_ = 1;
};

class FakeItem final : public FakeUnknown<IShellItem> {
public:
    FakeItem(const FakeDialogScript* script, FakeDialogRecord* record, std::size_t index)
        : script_(script), record_(record), index_(index)
    {
    }
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* name) override
    {
        const FakeItemScript& item = script_->items[index_];
        if (item.getDisplayName != S_OK || form != SIGDN_FILESYSPATH) {
            *name = nullptr;
            return item.getDisplayName != S_OK ? item.getDisplayName : E_INVALIDARG;
        }
        std::size_t bytes = (item.path.size() + 1) * sizeof(WCHAR);
        *name = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        std::memcpy(*name, item.path.c_str(), bytes);
        record_->pathsHandedOut.push_back(*name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }

protected:
    void LastReleased() override { ++record_->itemReleases[index_]; }

private:
    const FakeDialogScript* script_;
    FakeDialogRecord* record_;
    std::size_t index_;
};

class FakeItemArray final : public FakeUnknown<IShellItemArray> {
public:
    FakeItemArray(const FakeDialogScript* script, FakeDialogRecord* record)
        : script_(script), record_(record)
    {
    }
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override
    {
        if (script_->getCount == S_OK || script_->getCount == S_FALSE)
            *count = static_cast<DWORD>(script_->items.size());
        return script_->getCount;
    }
    HRESULT STDMETHODCALLTYPE GetItemAt(DWORD index, IShellItem** item) override
    {
        *item = nullptr;
        if (index >= script_->items.size())
            return E_INVALIDARG;
        if (script_->items[index].getItemAt != S_OK)
            return script_->items[index].getItemAt;
        *item = new FakeItem(script_, record_, index);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumItems(IEnumShellItems**) override { return E_NOTIMPL; }

protected:
    void LastReleased() override { ++record_->arrayReleases; }

private:
    const FakeDialogScript* script_;
    FakeDialogRecord* record_;
};

class FakeDialog final : public FakeUnknown<IFileOpenDialog> {
public:
    FakeDialog(const FakeDialogScript* script, FakeDialogRecord* record)
        : script_(script), record_(record)
    {
    }

    HRESULT STDMETHODCALLTYPE Show(HWND) override
    {
        ++record_->shows;
        if (script_->quitOnShow)
            PostQuitMessage(0);
        return script_->show;
    }
    HRESULT STDMETHODCALLTYPE GetResults(IShellItemArray** items) override
    {
        ++record_->getResults;
        *items = nullptr;
        if (script_->getResults != S_OK)
            return script_->getResults;
        *items = new FakeItemArray(script_, record_);
        return S_OK;
    }

    // Nothing else is used by the main loop.
    HRESULT STDMETHODCALLTYPE GetSelectedItems(IShellItemArray**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileTypes(UINT, const COMDLG_FILTERSPEC*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFolder(IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFolder(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddPlace(IShellItem*, FDAP) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close(HRESULT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ClearClientData() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter*) override { return E_NOTIMPL; }

private:
    const FakeDialogScript* script_;
    FakeDialogRecord* record_;
};

} // namespace

IFileOpenDialog* MakeFakeDialog(const FakeDialogScript* script, FakeDialogRecord* record)
{
    record->itemReleases.assign(script->items.size(), 0);
    return new FakeDialog(script, record);
}

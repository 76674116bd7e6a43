// A scripted file-open dialog for testing the main loop without the shell:
// Show, GetResults, the item array and its items answer as the script says,
// and every call that matters is recorded.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

struct FakeItemScript {
    std::wstring path;
    HRESULT getItemAt = S_OK;
    HRESULT getDisplayName = S_OK;
};

struct FakeDialogScript {
    HRESULT show = S_OK;
    HRESULT getResults = S_OK;
    HRESULT getCount = S_OK;
    std::vector<FakeItemScript> items;
    // Posts the quit message from Show, so that the loop ends after the batch.
    bool quitOnShow = true;
};

struct FakeDialogRecord {
    int shows = 0;
    int getResults = 0;
    int arrayReleases = 0;             // releases of the item array's last reference
    std::vector<int> itemReleases;     // per item
    std::vector<void*> pathsHandedOut; // what GetDisplayName gave, in order
};

// A dialog object that follows the script and writes into the record; both
// must outlive it. Its own reference is the caller's.
IFileOpenDialog* MakeFakeDialog(const FakeDialogScript* script, FakeDialogRecord* record);

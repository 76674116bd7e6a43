// Windows: the packer's calls go to the system, except structured storage,
// which goes to our own compound-file component unless the build asks for the
// system library (TVP_SYSTEM_STORAGE).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#ifndef TVP_SYSTEM_STORAGE
// Same contract as the system's StgCreateStorageEx for the calls the packer
// makes: STGFMT_STORAGE, IID_IStorage, direct mode, with or without STGM_CREATE.
HRESULT CfStgCreateStorageEx(const WCHAR* name, DWORD mode, DWORD format, DWORD attrs,
                             STGOPTIONS* options, PSECURITY_DESCRIPTOR security, REFIID riid,
                             void** object);
#define StgCreateStorageEx CfStgCreateStorageEx
#endif

// The structured-storage result code for each failure of our compound-file
// component, shared by the Windows and POSIX storage adapters.
#pragma once

#include "platform/compound_file/error.h"
#include "platform/platform.h"

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

// Failures the compound-file component reports. The platform adapters map
// them to the result codes of their structured-storage interfaces.
#pragma once

namespace cfb {

enum class Error {
    None,
    FileExists,         // the archive exists and replacing it was not asked for
    FileNotFound,
    PathNotFound,       // a folder on the way to the file does not exist
    AccessDenied,
    MediumFull,         // the disk or the user's quota is full
    WriteFault,         // an I/O error while writing
    OutOfMemory,
    InvalidName,        // empty, longer than 31 units, or holding / \ : !
    NameExists,         // a stream of that name is already in the storage
    TooLarge,           // the archive would outgrow the format's size limit
    StreamAlreadyOpen,  // one stream at a time
    NoStreamOpen,
    Closed,             // the archive was already finished or abandoned
    InvalidArgument,
};

// An English description of the error, for messages and test output.
const char* ErrorText(Error error);

}  // namespace cfb

#include "platform/compound_file/error.h"

namespace cfb {

const char* ErrorText(Error error) {
    switch (error) {
        case Error::None: return "no error";
        case Error::FileExists: return "the file already exists";
        case Error::FileNotFound: return "the file does not exist";
        case Error::PathNotFound: return "a folder of the path does not exist";
        case Error::AccessDenied: return "access denied";
        case Error::MediumFull: return "the storage device is full";
        case Error::WriteFault: return "write fault (I/O error)";
        case Error::OutOfMemory: return "out of memory";
        case Error::InvalidName: return "invalid element name";
        case Error::NameExists: return "an element of that name already exists";
        case Error::TooLarge: return "the compound file would exceed its 2 GiB size limit";
        case Error::StreamAlreadyOpen: return "another stream is still open";
        case Error::NoStreamOpen: return "no stream is open";
        case Error::Closed: return "the archive is already closed";
        case Error::InvalidArgument: return "invalid argument";
    }
    return "unknown error";
}

}  // namespace cfb

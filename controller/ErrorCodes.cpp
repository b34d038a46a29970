#include "controller/ErrorCodes.h"

namespace qnl {

const char* ErrorCodeText(std::int32_t code) {
    switch (code) {
        case kErrIo: return "IO error";
        case kErrVersionUnmatch: return "FW Version Unmatch";
        case kErrDataNotMatch: return "Data not match";
        case kErrNotFound: return "Entity not found";
        case kErrFileNotFound: return "File not found";
        case kErrNoMemory: return "Insufficient memory";
        case kErrTimeout: return "Operation timed out";
        case kErrInvalidParameter: return "Invalid parameter";
        default: return "Unknown error";
    }
}

}  // namespace qnl

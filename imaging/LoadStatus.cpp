#include "imaging/LoadStatus.h"

namespace fotoshuttle {

const char* LoadStatusName(LoadStatus status) {
    switch (status) {
        case LoadStatus::Ok:
            return "ok";
        case LoadStatus::FileUnreadable:
            return "file unreadable";
        case LoadStatus::NotAPicture:
            return "not a picture";
        case LoadStatus::Unsupported:
            return "unsupported";
        case LoadStatus::Damaged:
            return "damaged";
        case LoadStatus::Truncated:
            return "truncated";
        case LoadStatus::TooLarge:
            return "too large";
        case LoadStatus::OutOfMemory:
            return "out of memory";
    }
    return "unknown";
}

}  // namespace fotoshuttle

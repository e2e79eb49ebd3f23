#pragma once

#include "imaging/Bitmap.h"

namespace fotoshuttle {

// Why a picture file did or did not load. Truncated is told apart from the rest because a
// file that is still being copied in looks exactly like that and is worth another try later.
enum class LoadStatus {
    Ok,
    FileUnreadable,  // missing, no permission, a folder, a read error
    NotAPicture,     // no format we know starts like this
    Unsupported,     // a known format in a variant our codecs do not decode
    Damaged,         // the data contradicts itself
    Truncated,       // the data ends before the picture does
    TooLarge,        // declared size beyond kMaxPicturePixels
    OutOfMemory,
};

const char* LoadStatusName(LoadStatus status);

struct LoadResult {
    BitmapHandle bitmap;  // set exactly when status is Ok
    LoadStatus status = LoadStatus::NotAPicture;
};

inline LoadResult LoadFailure(LoadStatus status) {
    return LoadResult{nullptr, status};
}

}  // namespace fotoshuttle

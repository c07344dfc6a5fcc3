// C runtime calls that mingw-w64's runtime lacks.
#include "oxWin32.h"

#ifdef __MINGW32__

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> theNewMode{0};

}  // namespace

// msvcrt's malloc never calls the new-handler, so, as on POSIX, the mode
// (0 or 1) is only recorded; any other value is refused with EINVAL.
int _set_new_mode(int inMode) {
    if (inMode != 0 && inMode != 1) {
        errno = EINVAL;
        return -1;
    }
    return theNewMode.exchange(inMode);
}

#endif

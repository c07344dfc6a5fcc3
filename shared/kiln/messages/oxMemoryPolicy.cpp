#include "oxMemoryPolicy.h"

#include "oxWin32.h"

oxMemoryPolicy::oxMemoryPolicy()
    : itsPreviousNewMode(_set_new_mode(1)), itsPreviousHandler(std::set_new_handler(&throwBadAlloc)) {}

oxMemoryPolicy::~oxMemoryPolicy() {
    std::set_new_handler(itsPreviousHandler);
    _set_new_mode(itsPreviousNewMode);
}

void oxMemoryPolicy::throwBadAlloc() {
    throw std::bad_alloc();
}

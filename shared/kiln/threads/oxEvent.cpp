#include "oxEvent.h"

oxEventListener::~oxEventListener() = default;

oxEvent::~oxEvent() = default;

int32_t oxEvent::getNumHandles() const {
    return 1;
}

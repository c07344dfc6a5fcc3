#include "oxAlloc.h"

#include <cstring>
#include <new>

#include "oxRawAssert.h"
#include "oxRawLog.h"

oxAlloc::oxAlloc() : itsData(nullptr), itsSize(0) {}

oxAlloc::oxAlloc(uint32_t inSize, bool inThrow) : itsData(nullptr), itsSize(0) {
    allocate(inSize, inThrow);
}

oxAlloc::~oxAlloc() {
    release();
}

char* oxAlloc::obtain(uint32_t inSize, bool inThrow) {
    // The non-throwing form in both modes: a new-handler that throws must
    // not pre-empt the log line below.
    char* data = static_cast<char*>(::operator new(inSize, std::nothrow));
    if (data == nullptr && inThrow) {
        if (!oxRawLog::isSuppressed(6))
            oxRawLog::log(6, "throwing bad_alloc");
        throw std::bad_alloc();
    }
    return data;
}

bool oxAlloc::allocate(uint32_t inSize, bool inThrow) {
    oxAssert(inSize);
    release();
    itsData = obtain(inSize, inThrow);
    itsSize = itsData ? inSize : 0;
    return itsData != nullptr;
}

bool oxAlloc::grow(uint32_t inSize, bool inThrow) {
    if (itsSize >= inSize)
        return true;
    char* data = obtain(inSize, inThrow);
    if (data == nullptr)
        return false;
    if (itsData != nullptr) {
        std::memcpy(data, itsData, itsSize);
        ::operator delete(itsData);
    }
    itsData = data;
    itsSize = inSize;
    return true;
}

char* oxAlloc::getData() {
    oxAssert(itsData);
    return itsData;
}

void oxAlloc::release() {
    if (itsData == nullptr)
        return;
    ::operator delete(itsData);
    itsData = nullptr;
    itsSize = 0;
}

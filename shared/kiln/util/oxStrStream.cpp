#include "oxStrStream.h"

oxStrStream::oxStrStream() {}

oxStrStream::~oxStrStream() {
    freeze(false);
}

const char* oxStrStream::getText() {
    put('\0');
    // str() freezes the buffer: the pointer handed out stays put.
    return str();
}

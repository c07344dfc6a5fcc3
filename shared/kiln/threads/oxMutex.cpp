#include "oxMutex.h"

oxMutex::oxMutex(const char* inName) : itsName(inName != nullptr ? inName : "") {}

oxMutex::oxMutex(const std::string& inName) : itsName(inName) {}

oxMutex::~oxMutex() = default;

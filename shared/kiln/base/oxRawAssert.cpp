#include "oxRawAssert.h"

const char* const oxAssertionFormat = "Assertion failed.  File: %s, line: %ld.  Offending command: \"%s\".";

void oxReportAssertion(const char* inFile, long inLine, const char* inText) {
    oxRawLog::logFormatted(5, oxAssertionFormat, inFile, inLine, inText);
}

void oxReportAssertionText(const char* inFile, long inLine, const char* inText, const char* inDetail) {
    oxRawLog::logFormatted(5, "Assertion failed.  File: %s, line: %ld.  Offending command: \"%s\"  --- %s.",
                           inFile, inLine, inText, inDetail != nullptr ? inDetail : "");
}

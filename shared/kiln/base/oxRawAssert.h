// Assertion checks in the diagnostic sense: evaluated only while level 6
// of the log is enabled, reported at level 5, and never stopping the
// program: the next statement runs either way.
// Needs the raw log alone, so every layer may use it; programs include
// oxAssert.h, which adds the info log.
// Safe from any thread; a failed check reports through the installed log
// hooks and so takes part in the info log's lock order.
#ifndef OX_RAW_ASSERT_H
#define OX_RAW_ASSERT_H

#include "oxRawLog.h"

// The report's format: file, line and the condition's source text.
extern const char* const oxAssertionFormat;

// Report a failed condition with its source text, file and line.
void oxReportAssertion(const char* inFile, long inLine, const char* inText);
// The same with a caller-built detail text.
void oxReportAssertionText(const char* inFile, long inLine, const char* inText, const char* inDetail);

#define oxAssert(condition)                                    \
    do {                                                       \
        if (!oxRawLog::isSuppressed(6) && !(condition))        \
            oxReportAssertion(__FILE__, __LINE__, #condition); \
    } while (0)

// detail is evaluated only when the condition has failed.
#define oxAssertText(condition, detail)                                      \
    do {                                                                     \
        if (!oxRawLog::isSuppressed(6) && !(condition))                      \
            oxReportAssertionText(__FILE__, __LINE__, #condition, (detail)); \
    } while (0)

#endif

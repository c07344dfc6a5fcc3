// Test support: runs code at a chosen log level while standard error is
// captured, and puts the level back afterwards.
#ifndef OX_LOG_CAPTURE_H
#define OX_LOG_CAPTURE_H

#include <gtest/gtest.h>

#include <string>

#include "oxInfoLog.h"

class oxLogCapture {
public:
    explicit oxLogCapture(int inLevel) : itsSavedLevel(oxInfoLog::itsLogLevel) {
        oxInfoLog::itsLogLevel = inLevel;
        testing::internal::CaptureStderr();
    }

    ~oxLogCapture() { finish(); }

    // Stops capturing (once) and returns everything written meanwhile.
    const std::string& finish() {
        if (!itsFinished) {
            itsFinished = true;
            itsText = testing::internal::GetCapturedStderr();
            oxInfoLog::itsLogLevel = itsSavedLevel;
        }
        return itsText;
    }

    oxLogCapture(const oxLogCapture&) = delete;
    oxLogCapture& operator=(const oxLogCapture&) = delete;

private:
    int itsSavedLevel;
    bool itsFinished = false;
    std::string itsText;
};

// Everything inAction logs at inLevel.
template <typename Action>
std::string logOf(int inLevel, Action inAction) {
    oxLogCapture capture(inLevel);
    inAction();
    return capture.finish();
}

inline int countOccurrences(const std::string& inText, const std::string& inPattern) {
    int count = 0;
    for (size_t at = inText.find(inPattern); at != std::string::npos; at = inText.find(inPattern, at + 1))
        ++count;
    return count;
}

// The part of an assertion report that names the condition.
inline std::string offendingCommand(const std::string& inCondition) {
    return "Offending command: \"" + inCondition + "\".";
}

#endif

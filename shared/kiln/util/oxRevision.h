// The build record: texts fixed when the program is built.
// Safe from any thread: constant texts, no lock.
#ifndef OX_REVISION_H
#define OX_REVISION_H

#include <string>

struct oxBuildTexts;

class oxRevision {
public:
    static const std::string& getVersionNumber();
    // Never empty: the process checks it at construction.
    static const std::string& getRevisionNumber();
    // Month abbreviation, day and four-digit year, single blanks between.
    static const std::string& getBuildDate();
    // The three texts together, as a process object is constructed with
    // them (oxProcess.h defines the record).
    static oxBuildTexts getBuildTexts();
};

#endif

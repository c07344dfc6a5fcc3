#include "oxRevision.h"

#include "oxProcess.h"

const std::string& oxRevision::getVersionNumber() {
    static const std::string theVersionNumber = "InternalVersion";
    return theVersionNumber;
}

const std::string& oxRevision::getRevisionNumber() {
    static const std::string theRevisionNumber = "InternalRevision";
    return theRevisionNumber;
}

const std::string& oxRevision::getBuildDate() {
    static const std::string theBuildDate = "Jun 12 2014";
    return theBuildDate;
}

oxBuildTexts oxRevision::getBuildTexts() {
    return oxBuildTexts{getVersionNumber(), getRevisionNumber(), getBuildDate()};
}

// The process-wide objects of the framework, defined in the one order in
// which they must be built; they are destroyed in reverse at exit. They
// live in this one file because C++ orders static construction only
// within a file: the main-thread object, last here, still locks the
// thread table and reports to the info log while it is destroyed.
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "oxInfoLog.h"
#include "oxMainThread.h"
#include "oxMemMutex.h"
#include "oxMemoryPolicy.h"
#include "oxRawLog.h"
#include "oxSingleEvent.h"
#include "oxStream.h"
#include "oxStringServer.h"
#include "oxThread.h"

// Every failed allocation throws, from before the first one on.
static oxMemoryPolicy theMemoryPolicy;

oxStaticObject<oxMemMutex> oxInfoLog::itsMutex("oxInfoLog");
// The level and the hooks are constant-initialised: set before any static
// constructor of any file runs, so no report can find them unset.
std::atomic<int> oxRawLog::itsLogLevel{3};
std::atomic<int>& oxInfoLog::itsLogLevel = oxRawLog::itsLogLevel;
const oxRawLog::oxHooks oxInfoLog::itsRawLogHooks = {static_cast<void (*)(int, const char*)>(&oxInfoLog::log),
                                                     &oxInfoLog::logFormattedList,
                                                     &oxInfoLog::logCrash,
                                                     &oxInfoLog::setOutput,
                                                     &oxInfoLog::setOutputFile,
                                                     &oxInfoLog::prepareCrashReport};
std::atomic<const oxRawLog::oxHooks*> oxRawLog::itsHooks{&oxInfoLog::itsRawLogHooks};
std::atomic<int> oxInfoLog::itsOutputMode{oxLog_console};
oxNeverDestroyed<std::string> oxInfoLog::itsProgramName;
oxNeverDestroyed<std::string> oxInfoLog::itsLogFileName("infoLog.log");
oxNeverDestroyed<std::set<std::string>> oxInfoLog::itsAlreadyLoggedMessages;

std::map<int32_t, const char*> oxStringServer::itsStrMap;

// On the heap and never destroyed.
oxSimpleMemMutex* oxMemMutex::itsMutexPtr = oxMemMutex::createBookkeepingMutex();
std::map<DWORD, oxMemMutex*>* oxMemMutex::itsBlockedThreadsMap = oxMemMutex::createBlockedThreadsMap();

oxStaticObject<oxMemMutex> oxSingleEvent::itsSharedMutex("");

oxNeverDestroyed<std::map<DWORD, oxThread*>> oxThread::itsThreadMap;
oxStaticObject<oxMemMutex> oxThread::itsThreadMapMutex(sourceLocation(__FILE__, __LINE__));
oxMainThread oxThread::theMainThread;

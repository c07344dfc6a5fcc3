// Win32 thread message queues on POSIX: one queue per thread that asked
// for messages, found by thread id, owned by a thread-local holder so it
// goes away with its thread.
#include "oxPosixHandles.h"

#include <deque>
#include <map>
#include <new>

namespace {

// Windows refuses postings beyond this many waiting messages; without a
// limit a reader that stopped reading would let the queue grow unbounded.
const size_t kMaxQueuedMessages = 10000;

struct MessageQueue {
    MessageQueue() {
        pthread_mutex_init(&itsLock, nullptr);
        pthread_cond_init(&itsArrival, nullptr);
    }
    ~MessageQueue() {
        pthread_cond_destroy(&itsArrival);
        pthread_mutex_destroy(&itsLock);
    }
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    pthread_mutex_t itsLock;
    pthread_cond_t itsArrival;
    // Guarded by itsLock. Oldest first.
    std::deque<MSG> itsMessages;
    // Guarded by itsLock. Set when the owner has gone; a posting that
    // raced with that fails instead of being lost.
    bool itsClosed = false;
};

typedef std::map<DWORD, std::shared_ptr<MessageQueue>> QueueTable;

// Guards theQueues. Statically initialised, so it works at any time.
pthread_mutex_t theQueuesLock = PTHREAD_MUTEX_INITIALIZER;
// On the heap and never freed: thread-local clean-up at exit still
// reaches it after static objects are gone.
QueueTable* theQueues = nullptr;

// The calling thread's queue, entered under its id while it exists.
class QueueHolder {
public:
    QueueHolder() = default;
    QueueHolder(const QueueHolder&) = delete;
    QueueHolder& operator=(const QueueHolder&) = delete;
    ~QueueHolder() { discard(); }

    // Made on first use. Throws std::bad_alloc.
    MessageQueue& queue() {
        if (itsQueue == nullptr) {
            auto queue = std::make_shared<MessageQueue>();
            const DWORD threadId = GetCurrentThreadId();
            oxPosixLock lock(theQueuesLock);
            if (theQueues == nullptr) {
                theQueues = new QueueTable;
            }
            // A leftover entry under this id belongs to a thread that has
            // ended; the id is ours now.
            (*theQueues)[threadId] = queue;
            itsQueue = queue;
            itsThreadId = threadId;
        }
        return *itsQueue;
    }

    void discard() {
        if (itsQueue == nullptr) {
            return;
        }
        {
            oxPosixLock lock(theQueuesLock);
            auto entry = theQueues->find(itsThreadId);
            if (entry != theQueues->end() && entry->second == itsQueue) {
                theQueues->erase(entry);
            }
        }
        {
            oxPosixLock lock(itsQueue->itsLock);
            itsQueue->itsClosed = true;
            itsQueue->itsMessages.clear();
        }
        itsQueue.reset();
    }

private:
    std::shared_ptr<MessageQueue> itsQueue;
    DWORD itsThreadId = 0;
};

thread_local QueueHolder theOwnQueue;

std::shared_ptr<MessageQueue> findQueue(DWORD inThreadId) {
    oxPosixLock lock(theQueuesLock);
    if (theQueues == nullptr) {
        return nullptr;
    }
    auto entry = theQueues->find(inThreadId);
    return entry == theQueues->end() ? nullptr : entry->second;
}

bool matches(const MSG& inMessage, UINT inFilterMin, UINT inFilterMax) {
    if (inFilterMin == 0 && inFilterMax == 0) {
        return true;
    }
    return inMessage.message >= inFilterMin && inMessage.message <= inFilterMax;
}

// REQUIRES: ioQueue.itsLock held.
std::deque<MSG>::iterator findMatchLocked(MessageQueue& ioQueue, UINT inFilterMin, UINT inFilterMax) {
    auto message = ioQueue.itsMessages.begin();
    while (message != ioQueue.itsMessages.end() && !matches(*message, inFilterMin, inFilterMax)) {
        ++message;
    }
    return message;
}

}  // namespace

void discardThreadMessageQueue() {
    theOwnQueue.discard();
}

BOOL PostThreadMessageA(DWORD inThreadId, UINT inMessage, WPARAM inWParam, LPARAM inLParam) {
    std::shared_ptr<MessageQueue> queue = findQueue(inThreadId);
    if (queue == nullptr) {
        return FALSE;
    }
    try {
        oxPosixLock lock(queue->itsLock);
        if (queue->itsClosed || queue->itsMessages.size() >= kMaxQueuedMessages) {
            return FALSE;
        }
        queue->itsMessages.push_back(MSG{nullptr, inMessage, inWParam, inLParam, GetTickCount(), {0, 0}});
        pthread_cond_signal(&queue->itsArrival);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return TRUE;
}

BOOL PeekMessageA(LPMSG outMessage, HWND inWindow, UINT inFilterMin, UINT inFilterMax, UINT inRemoveFlags) {
    if (outMessage == nullptr || inWindow != nullptr) {
        return FALSE;
    }
    try {
        MessageQueue& queue = theOwnQueue.queue();
        oxPosixLock lock(queue.itsLock);
        auto message = findMatchLocked(queue, inFilterMin, inFilterMax);
        if (message == queue.itsMessages.end()) {
            return FALSE;
        }
        *outMessage = *message;
        if ((inRemoveFlags & PM_REMOVE) != 0) {
            queue.itsMessages.erase(message);
        }
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return TRUE;
}

BOOL GetMessageA(LPMSG outMessage, HWND inWindow, UINT inFilterMin, UINT inFilterMax) {
    if (outMessage == nullptr || inWindow != nullptr) {
        return -1;
    }
    try {
        MessageQueue& queue = theOwnQueue.queue();
        oxPosixLock lock(queue.itsLock);
        auto message = findMatchLocked(queue, inFilterMin, inFilterMax);
        while (message == queue.itsMessages.end()) {
            pthread_cond_wait(&queue.itsArrival, &queue.itsLock);
            message = findMatchLocked(queue, inFilterMin, inFilterMax);
        }
        *outMessage = *message;
        queue.itsMessages.erase(message);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return outMessage->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PostMessageA(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

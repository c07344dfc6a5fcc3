// Storage for process-wide objects that must outlive static destruction.
// Built before other threads start; the held object's own rules apply to
// concurrent use.
#ifndef OX_STATIC_OBJECT_H
#define OX_STATIC_OBJECT_H

#include <new>
#include <utility>

// Holds process-wide state that a process-wide lock guards. The lock
// refuses its callers once it is shut down, but a caller already inside
// still uses the state, at any moment of the teardown: so the state is
// never destroyed. What it owns stays reachable to the end.
template <class T>
class oxNeverDestroyed {
public:
    template <class... Args>
    explicit oxNeverDestroyed(Args&&... inArguments) {
        new (itsStorage) T(std::forward<Args>(inArguments)...);
    }

    T& get() { return *std::launder(reinterpret_cast<T*>(itsStorage)); }
    T& operator*() { return get(); }
    T* operator->() { return &get(); }

    oxNeverDestroyed(const oxNeverDestroyed&) = delete;
    oxNeverDestroyed& operator=(const oxNeverDestroyed&) = delete;

private:
    alignas(T) unsigned char itsStorage[sizeof(T)];
};

// Holds a process-wide lock: at exit the lock is shut down in its turn (it
// then refuses every request with a report) but never destroyed, so a late
// caller - a static object of another file, a thread still running - meets
// a defined object that refuses, not freed memory.
template <class T>
class oxStaticObject : public oxNeverDestroyed<T> {
public:
    using oxNeverDestroyed<T>::oxNeverDestroyed;
    ~oxStaticObject() { this->get().shutDown(); }

    operator T&() { return this->get(); }
};

#endif

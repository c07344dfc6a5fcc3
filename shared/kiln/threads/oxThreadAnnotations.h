// Clang's thread-safety attributes, after LevelDB's thread_annotations.h:
// built with clang and -Wthread-safety, a guarded field used without its
// lock, or a helper called without the lock it requires, is a compile
// error, so the lock rules written at the declarations are checked. Other
// compilers see nothing.
//
// What the analysis cannot express here: a framework lock may refuse
// (oxSimpleMemMutex::lock returns false after the lock is shut down at
// exit). oxStMutex is declared as always acquiring; code that must not go
// on without the lock asks isLocked() itself.
#ifndef OX_THREAD_ANNOTATIONS_H
#define OX_THREAD_ANNOTATIONS_H

#if defined(__clang__)
#define OX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OX_THREAD_ANNOTATION(x)
#endif

#ifndef CAPABILITY
#define CAPABILITY(x) OX_THREAD_ANNOTATION(capability(x))
#endif

#ifndef SCOPED_CAPABILITY
#define SCOPED_CAPABILITY OX_THREAD_ANNOTATION(scoped_lockable)
#endif

#ifndef GUARDED_BY
#define GUARDED_BY(x) OX_THREAD_ANNOTATION(guarded_by(x))
#endif

#ifndef PT_GUARDED_BY
#define PT_GUARDED_BY(x) OX_THREAD_ANNOTATION(pt_guarded_by(x))
#endif

#ifndef ACQUIRE
#define ACQUIRE(...) OX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#endif

#ifndef RELEASE
#define RELEASE(...) OX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#endif

#ifndef TRY_ACQUIRE
#define TRY_ACQUIRE(...) OX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#endif

#ifndef EXCLUSIVE_LOCKS_REQUIRED
#define EXCLUSIVE_LOCKS_REQUIRED(...) OX_THREAD_ANNOTATION(exclusive_locks_required(__VA_ARGS__))
#endif

#ifndef LOCKS_EXCLUDED
#define LOCKS_EXCLUDED(...) OX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#endif

#ifndef NO_THREAD_SAFETY_ANALYSIS
#define NO_THREAD_SAFETY_ANALYSIS OX_THREAD_ANNOTATION(no_thread_safety_analysis)
#endif

#endif

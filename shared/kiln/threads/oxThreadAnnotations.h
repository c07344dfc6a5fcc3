// Clang's thread-safety attributes, after LevelDB's thread_annotations.h:
// built with clang and -Wthread-safety, a guarded field used without its
// lock, or a helper called without the lock it requires, is a compile
// error, so the lock rules written at the declarations are checked. Other
// compilers see nothing.
//
// Every name carries the OX_ prefix: another library's GUARDED_BY or
// ACQUIRE of its own means nothing here, and ours cannot clash with it.
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

#define OX_CAPABILITY(x) OX_THREAD_ANNOTATION(capability(x))
#define OX_SCOPED_CAPABILITY OX_THREAD_ANNOTATION(scoped_lockable)
#define OX_GUARDED_BY(x) OX_THREAD_ANNOTATION(guarded_by(x))
#define OX_PT_GUARDED_BY(x) OX_THREAD_ANNOTATION(pt_guarded_by(x))
#define OX_ACQUIRE(...) OX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define OX_RELEASE(...) OX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define OX_TRY_ACQUIRE(...) OX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define OX_EXCLUSIVE_LOCKS_REQUIRED(...) OX_THREAD_ANNOTATION(exclusive_locks_required(__VA_ARGS__))
#define OX_LOCKS_EXCLUDED(...) OX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define OX_NO_THREAD_SAFETY_ANALYSIS OX_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif

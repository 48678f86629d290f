#pragma once
// Lock annotations that clang's thread-safety analysis (-Wthread-safety) checks at compile time;
// under other compilers they expand to nothing and change nothing.
//
//   CAPABILITY("mutex")     on a mutex type            SCOPED_CAPABILITY  on a lock-guard type
//   GUARDED_BY(m)           on a member read or written only while m is held
//   REQUIRES(m)             on a function its callers call with m held
//   EXCLUDES(m)             on a function that takes m itself (callers must not hold it)
//   ACQUIRE(m) / RELEASE(m) on a function that takes / gives back m (no argument: the object itself)
//   NO_THREAD_SAFETY_ANALYSIS  on a function the analysis cannot follow (a lock held from one
//                              call to another); say why beside it
// The analysis sees one function at a time: a lock handed out through an interface and held
// across calls is beyond it.

#if defined(__clang__)
#define QUOR_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUOR_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) QUOR_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY QUOR_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) QUOR_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) QUOR_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QUOR_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QUOR_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUOR_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS QUOR_THREAD_ANNOTATION(no_thread_safety_analysis)
// On a function that returns a reference to a capability: the capability it returns.
#define RETURN_CAPABILITY(x) QUOR_THREAD_ANNOTATION(lock_returned(x))

// Clang's thread-safety annotations (-Wthread-safety): which lock guards a
// member, which lock a function needs or takes. Other compilers see nothing.
// The "clang-tsa" preset builds with the analysis and turns its warnings into
// errors, so that a lock comment cannot drift from the code.
#pragma once

#if defined(__clang__)
#define QUORIX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUORIX_THREAD_ANNOTATION(x)
#endif

// A type that is a lock.
#define CAPABILITY(x) QUORIX_THREAD_ANNOTATION(capability(x))
// A type whose objects hold a lock from construction to destruction.
#define SCOPED_CAPABILITY QUORIX_THREAD_ANNOTATION(scoped_lockable)
// A member read and written only with the lock held.
#define GUARDED_BY(x) QUORIX_THREAD_ANNOTATION(guarded_by(x))
// The function needs the lock(s) held by its caller.
#define REQUIRES(...) QUORIX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The function takes the lock(s) itself: the caller must not hold them.
#define EXCLUDES(...) QUORIX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function takes (or lets go of) the lock(s) and returns holding (or not holding) them.
#define ACQUIRE(...) QUORIX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUORIX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// The function returns a reference to this lock.
#define RETURN_CAPABILITY(x) QUORIX_THREAD_ANNOTATION(lock_returned(x))
// Outside the analysis (say why where it is used).
#define NO_THREAD_SAFETY_ANALYSIS QUORIX_THREAD_ANNOTATION(no_thread_safety_analysis)

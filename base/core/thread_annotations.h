#pragma once

// Clang's thread-safety analysis (-Wthread-safety): what a mutex guards and which functions need
// it held, checked at compile time. Other compilers see nothing.
#if defined(__clang__)
#define GS_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define GS_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) GS_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY GS_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) GS_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) GS_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) GS_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) GS_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) GS_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) GS_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) GS_THREAD_ANNOTATION(lock_returned(x))

/* Faults for the manifest update's tests, preloaded into a child interpreter.
 *
 *   BRINTEL_FAIL_FLOCK=N          flock fails with error N ...
 *   BRINTEL_FAIL_FLOCK_EVERY=K    ... on every K-th call only (default: every call)
 *   BRINTEL_FAIL_RENAME=N         rename fails with error N
 *   BRINTEL_FAIL_CREATE=N         opening with O_CREAT | O_EXCL fails with error N
 *   BRINTEL_LOG_CREATE=FILE       appends "<octal mode> <path>" for every open with O_CREAT
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>

static int injected(const char *name) {
    const char *value = getenv(name);
    return value ? atoi(value) : 0;
}

int flock(int fd, int operation) {
    static int calls;
    static int (*real)(int, int);
    if (!real) real = (int (*)(int, int))dlsym(RTLD_NEXT, "flock");
    const int error = injected("BRINTEL_FAIL_FLOCK");
    const int every = injected("BRINTEL_FAIL_FLOCK_EVERY");
    if (error && (every <= 1 || ++calls % every == 0)) {
        errno = error;
        return -1;
    }
    return real(fd, operation);
}

int rename(const char *from, const char *to) {
    static int (*real)(const char *, const char *);
    if (!real) real = (int (*)(const char *, const char *))dlsym(RTLD_NEXT, "rename");
    const int error = injected("BRINTEL_FAIL_RENAME");
    if (error) {
        errno = error;
        return -1;
    }
    return real(from, to);
}

static int opened(const char *symbol, const char *path, int flags, mode_t mode) {
    const char *log = getenv("BRINTEL_LOG_CREATE");
    if (log && (flags & O_CREAT)) {
        FILE *out = fopen(log, "a");
        if (out) {
            fprintf(out, "%o %s\n", (unsigned)mode, path);
            fclose(out);
        }
    }
    const int error = injected("BRINTEL_FAIL_CREATE");
    if (error && (flags & O_CREAT) && (flags & O_EXCL)) {
        errno = error;
        return -1;
    }
    int (*real)(const char *, int, ...) = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, symbol);
    return real(path, flags, mode);
}

static mode_t mode_of(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char *path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = mode_of(flags, arguments);
    va_end(arguments);
    return opened("open", path, flags, mode);
}

int open64(const char *path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = mode_of(flags, arguments);
    va_end(arguments);
    return opened("open64", path, flags, mode);
}

/* Faults for the manifest update's tests, preloaded into a child interpreter.
 *
 *   BRINTEL_FAIL_FLOCK=N          flock fails with error N ...
 *   BRINTEL_FAIL_FLOCK_EVERY=K    ... on every K-th call only (default: every call)
 *   BRINTEL_FLOCK_NEEDS_WRITE=1   flock on a descriptor not open for writing fails
 *                                 with EBADF, as on an NFS client
 *   BRINTEL_SIGNAL_AT_FLOCK=WHEN  the first flock that locks raises SIGINT "before"
 *                                 it tries, or "after" it succeeded
 *   BRINTEL_FAIL_RENAME=N         rename fails with error N
 *   BRINTEL_PAUSE_RENAME=1        the process stops itself (SIGSTOP) before a rename
 *   BRINTEL_FAIL_CREATE=N         opening with O_CREAT | O_EXCL fails with error N
 *   BRINTEL_FAIL_OPEN_WRITE=N     opening an existing file for writing fails with error N
 *   BRINTEL_FAIL_FCHMOD=N         fchmod fails with error N
 *   BRINTEL_FAIL_FSYNC=N          fsync fails with error N
 *   BRINTEL_FORK_AT_FSYNC=FILE    the first fsync forks a child that writes its pid
 *                                 to FILE and sleeps for a minute
 *   BRINTEL_INTERRUPT_IO=TEXT     every other read or write of a file whose path holds
 *                                 TEXT fails with EINTR
 *   BRINTEL_LOG_CREATE=FILE       appends "<octal mode> <path>" for every open with O_CREAT
 *   BRINTEL_LOG=FILE              appends "write <path>", "fsync <path>" and
 *   BRINTEL_LOG_UNDER=DIR           "rename <from> <to>" for paths under DIR
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static int injected(const char *name) {
    const char *value = getenv(name);
    return value ? atoi(value) : 0;
}

static int fail_with(int error) {
    errno = error;
    return -1;
}

/* The path of an open descriptor, or "" when it has none. */
static const char *path_of(int fd, char *buffer, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const int saved = errno;
    const ssize_t length = readlink(link, buffer, size - 1);
    errno = saved;
    buffer[length > 0 ? length : 0] = '\0';
    return buffer;
}

static void log_event(const char *event, const char *path, const char *other) {
    const char *log = getenv("BRINTEL_LOG"), *under = getenv("BRINTEL_LOG_UNDER");
    if (!log || !under || strncmp(path, under, strlen(under)) != 0) return;
    const int saved = errno;
    FILE *out = fopen(log, "a");
    if (out) {
        fprintf(out, other ? "%s %s %s\n" : "%s %s\n", event, path, other);
        fclose(out);
    }
    errno = saved;
}

static int interrupted(int fd) {
    static int calls;
    const char *text = getenv("BRINTEL_INTERRUPT_IO");
    char path[4096];
    return text && strstr(path_of(fd, path, sizeof path), text) && ++calls % 2 == 1;
}

int flock(int fd, int operation) {
    static int calls, signalled;
    const int error = injected("BRINTEL_FAIL_FLOCK");
    const int every = injected("BRINTEL_FAIL_FLOCK_EVERY");
    if (error && (every <= 1 || ++calls % every == 0)) return fail_with(error);
    if (injected("BRINTEL_FLOCK_NEEDS_WRITE") && (operation & LOCK_EX) &&
        (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY) {
        return fail_with(EBADF);
    }
    const char *when = getenv("BRINTEL_SIGNAL_AT_FLOCK");
    const int signal_now = when && !(operation & LOCK_UN) && !signalled;
    if (signal_now && strcmp(when, "before") == 0) signalled = raise(SIGINT) == 0;
    const int result = REAL(flock)(fd, operation);
    if (signal_now && result == 0 && strcmp(when, "after") == 0) signalled = raise(SIGINT) == 0;
    return result;
}

int rename(const char *from, const char *to) {
    const int error = injected("BRINTEL_FAIL_RENAME");
    if (error) return fail_with(error);
    if (injected("BRINTEL_PAUSE_RENAME")) raise(SIGSTOP);
    log_event("rename", from, to);
    return REAL(rename)(from, to);
}

int fchmod(int fd, mode_t mode) {
    const int error = injected("BRINTEL_FAIL_FCHMOD");
    return error ? fail_with(error) : REAL(fchmod)(fd, mode);
}

static void fork_sleeper(void) {
    static int forked;
    const char *file = getenv("BRINTEL_FORK_AT_FSYNC");
    if (!file || forked++) return;
    if (fork() != 0) return;
    /* Lets whoever waits for the parent's output see its end. */
    const int null = REAL(open)("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
    FILE *out = fopen(file, "w");
    if (out) {
        fprintf(out, "%d\n", (int)getpid());
        fclose(out);
    }
    sleep(60);
    _exit(0);
}

int fsync(int fd) {
    char path[4096];
    fork_sleeper();
    log_event("fsync", path_of(fd, path, sizeof path), NULL);
    const int error = injected("BRINTEL_FAIL_FSYNC");
    return error ? fail_with(error) : REAL(fsync)(fd);
}

ssize_t read(int fd, void *buffer, size_t size) {
    return interrupted(fd) ? fail_with(EINTR) : REAL(read)(fd, buffer, size);
}

ssize_t write(int fd, const void *buffer, size_t size) {
    char path[4096];
    if (getenv("BRINTEL_LOG")) log_event("write", path_of(fd, path, sizeof path), NULL);
    return interrupted(fd) ? fail_with(EINTR) : REAL(write)(fd, buffer, size);
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
    const int create_error = injected("BRINTEL_FAIL_CREATE");
    if (create_error && (flags & O_CREAT) && (flags & O_EXCL)) return fail_with(create_error);
    const int write_error = injected("BRINTEL_FAIL_OPEN_WRITE");
    if (write_error && !(flags & O_CREAT) && (flags & O_ACCMODE) != O_RDONLY) return fail_with(write_error);
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

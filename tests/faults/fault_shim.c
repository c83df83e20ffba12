/* fault_shim: an LD_PRELOAD library that injects one fault into the C library's file calls of
 * the program it is loaded into, so that the fault suite can end or fail the installer at an
 * exact file-system call. Configured by the environment:
 *
 *   FAULT_CALL    rename | open | mkdir | unlink | rmdir | write | any-write
 *                 (open counts only opens that may write; any-write is every call that changes
 *                 the file system: rename, open for writing, mkdir, unlink, rmdir, write)
 *   FAULT_PATH    the fault applies to calls whose path (either path of a rename; for write the
 *                 file the descriptor names) contains this text; "=P" matches P and every path
 *                 below it, "==P" only P itself
 *   FAULT_NTH     the fault fires at the Nth matching call (default 1)
 *   FAULT_ACTION  kill | term (SIGKILL / SIGTERM before the call), kill-after | term-after (after
 *                 the call has returned), fail:ERRNO (the call fails with that errno)
 *   FAULT_EVERY   1: fail:ERRNO applies to the Nth matching call and every one after it
 *   FAULT_RECORD  a file that gets one line each time the fault fires
 *   FAULT_TRACE   a file that gets the path of every call that changes the file system
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
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum action { NONE, KILL, TERM, KILL_AFTER, TERM_AFTER, FAIL };

static enum action fault_action = NONE;
static const char* fault_call = "";
static const char* fault_path = "";
static long fault_nth = 1;
static int fault_errno = 0;
static int fault_every = 0;
static long matches = 0;        /* guarded by the atomic builtins */
static __thread int inside = 0; /* the shim's own calls pass through */

__attribute__((constructor)) static void configure(void) {
    const char* action = getenv("FAULT_ACTION");
    fault_call = getenv("FAULT_CALL") ? getenv("FAULT_CALL") : "";
    fault_path = getenv("FAULT_PATH") ? getenv("FAULT_PATH") : "";
    fault_nth = getenv("FAULT_NTH") ? atol(getenv("FAULT_NTH")) : 1;
    fault_every = getenv("FAULT_EVERY") && strcmp(getenv("FAULT_EVERY"), "1") == 0;
    if (action == NULL || *fault_call == '\0')
        fault_action = NONE;
    else if (strcmp(action, "kill") == 0)
        fault_action = KILL;
    else if (strcmp(action, "term") == 0)
        fault_action = TERM;
    else if (strcmp(action, "kill-after") == 0)
        fault_action = KILL_AFTER;
    else if (strcmp(action, "term-after") == 0)
        fault_action = TERM_AFTER;
    else if (strncmp(action, "fail:", 5) == 0) {
        fault_action = FAIL;
        fault_errno = atoi(action + 5);
    }
}

static void append_line(const char* variable, const char* a, const char* b) {
    const char* file = getenv(variable);
    if (file == NULL || inside)
        return;
    inside = 1;
    int (*real_open)(const char*, int, ...) =
        (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    ssize_t (*real_write)(int, const void*, size_t) =
        (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    int fd = real_open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        char line[8192];
        int n = snprintf(line, sizeof line, "%s%s%s\n", a, b ? "\t" : "", b ? b : "");
        if (n > 0)
            real_write(fd, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
        close(fd);
    }
    inside = 0;
}

/* The path of a descriptor, for write. */
static void fd_path(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = '\0';
}

static int path_matches(const char* path) {
    if (path == NULL)
        return 0;
    if (strncmp(fault_path, "==", 2) == 0)
        return strcmp(path, fault_path + 2) == 0;
    if (fault_path[0] == '=') {
        size_t n = strlen(fault_path + 1);
        return strncmp(path, fault_path + 1, n) == 0 && (path[n] == '\0' || path[n] == '/');
    }
    return strstr(path, fault_path) != NULL;
}

/* Decides what happens to one call: 0 go on, 1 fail it (errno set), and for the -after
 * actions *after is set so that the caller signals once the call has returned. */
static int decide(const char* call, int writes, const char* path, const char* path2, int* after) {
    *after = 0;
    if (inside)
        return 0;
    if (writes && strcmp(call, "write") != 0)
        append_line("FAULT_TRACE", path ? path : "", path2);
    if (fault_action == NONE)
        return 0;
    if (strcmp(fault_call, call) != 0 && !(writes && strcmp(fault_call, "any-write") == 0))
        return 0;
    int matched = path_matches(path) || path_matches(path2);
    if (!matched)
        return 0;
    long n = __atomic_add_fetch(&matches, 1, __ATOMIC_SEQ_CST);
    if (n < fault_nth || (n > fault_nth && !(fault_action == FAIL && fault_every)))
        return 0;
    append_line("FAULT_RECORD", call, path);
    switch (fault_action) {
        case KILL:
            raise(SIGKILL);
            break;
        case TERM:
            raise(SIGTERM);
            break;
        case KILL_AFTER:
        case TERM_AFTER:
            *after = fault_action == KILL_AFTER ? SIGKILL : SIGTERM;
            return 0;
        case FAIL:
            errno = fault_errno;
            return 1;
        case NONE:
            break;
    }
    return 0;
}

/* The C library's own function of that name, found once. */
#define REAL(name)                               \
    static __typeof__(&name) real_##name = NULL; \
    if (real_##name == NULL)                     \
    real_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name)
#define FINISH(after)     \
    do {                  \
        if (after)        \
            raise(after); \
    } while (0)

static int opens_for_writing(int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0;
}

static char* absolute(int dirfd, const char* path, char* out, size_t size) {
    if (path == NULL || path[0] == '/' || dirfd == AT_FDCWD)
        return (char*)path;
    char base[4096];
    fd_path(dirfd, base, sizeof base);
    int n = snprintf(out, size, "%s/%s", base, path);
    return n > 0 && (size_t)n < size ? out : (char*)path;
}

int rename(const char* from, const char* to) {
    REAL(rename);
    int after;
    if (decide("rename", 1, from, to, &after))
        return -1;
    int result = real_rename(from, to);
    FINISH(after);
    return result;
}

int renameat(int fromdir, const char* from, int todir, const char* to) {
    REAL(renameat);
    char a[4096], b[4096];
    int after;
    if (decide("rename", 1, absolute(fromdir, from, a, sizeof a), absolute(todir, to, b, sizeof b),
               &after))
        return -1;
    int result = real_renameat(fromdir, from, todir, to);
    FINISH(after);
    return result;
}

int renameat2(int fromdir, const char* from, int todir, const char* to, unsigned int flags) {
    REAL(renameat2);
    char a[4096], b[4096];
    int after;
    if (decide("rename", 1, absolute(fromdir, from, a, sizeof a), absolute(todir, to, b, sizeof b),
               &after))
        return -1;
    int result = real_renameat2(fromdir, from, todir, to, flags);
    FINISH(after);
    return result;
}

static int open_common(const char* symbol, int dirfd, const char* path, int flags, mode_t mode) {
    char a[4096];
    int after = 0;
    const int writes = opens_for_writing(flags);
    if (writes && decide("open", 1, absolute(dirfd, path, a, sizeof a), NULL, &after))
        return -1;
    int result;
    if (dirfd == AT_FDCWD && strcmp(symbol, "openat") != 0 && strcmp(symbol, "openat64") != 0) {
        int (*real)(const char*, int, ...) =
            (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, symbol);
        result = real(path, flags, mode);
    } else {
        int (*real)(int, const char*, int, ...) =
            (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, symbol);
        result = real(dirfd, path, flags, mode);
    }
    FINISH(after);
    return result;
}

static mode_t mode_argument(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(args, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_common("open", AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_common("open64", AT_FDCWD, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_common("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = mode_argument(flags, args);
    va_end(args);
    return open_common("openat64", dirfd, path, flags, mode);
}

int mkstemp(char* pattern) {
    REAL(mkstemp);
    int after;
    if (decide("open", 1, pattern, NULL, &after))
        return -1;
    int result = real_mkstemp(pattern);
    FINISH(after);
    return result;
}

FILE* fopen(const char* path, const char* mode) {
    REAL(fopen);
    int after = 0;
    if (strpbrk(mode, "wa+") != NULL && decide("open", 1, path, NULL, &after))
        return NULL;
    FILE* result = real_fopen(path, mode);
    FINISH(after);
    return result;
}

FILE* fopen64(const char* path, const char* mode) {
    REAL(fopen64);
    int after = 0;
    if (strpbrk(mode, "wa+") != NULL && decide("open", 1, path, NULL, &after))
        return NULL;
    FILE* result = real_fopen64(path, mode);
    FINISH(after);
    return result;
}

int mkdir(const char* path, mode_t mode) {
    REAL(mkdir);
    int after;
    if (decide("mkdir", 1, path, NULL, &after))
        return -1;
    int result = real_mkdir(path, mode);
    FINISH(after);
    return result;
}

int unlink(const char* path) {
    REAL(unlink);
    int after;
    if (decide("unlink", 1, path, NULL, &after))
        return -1;
    int result = real_unlink(path);
    FINISH(after);
    return result;
}

int unlinkat(int dirfd, const char* path, int flags) {
    REAL(unlinkat);
    char a[4096];
    int after;
    if (decide((flags & AT_REMOVEDIR) ? "rmdir" : "unlink", 1, absolute(dirfd, path, a, sizeof a),
               NULL, &after))
        return -1;
    int result = real_unlinkat(dirfd, path, flags);
    FINISH(after);
    return result;
}

int rmdir(const char* path) {
    REAL(rmdir);
    int after;
    if (decide("rmdir", 1, path, NULL, &after))
        return -1;
    int result = real_rmdir(path);
    FINISH(after);
    return result;
}

ssize_t write(int fd, const void* data, size_t size) {
    REAL(write);
    int after = 0;
    if (!inside && fault_action != NONE && fd > 2 &&
        (strcmp(fault_call, "write") == 0 || strcmp(fault_call, "any-write") == 0)) {
        char path[4096];
        fd_path(fd, path, sizeof path);
        if (strncmp(path, "/", 1) == 0 && decide("write", 1, path, NULL, &after))
            return -1;
    }
    ssize_t result = real_write(fd, data, size);
    FINISH(after);
    return result;
}

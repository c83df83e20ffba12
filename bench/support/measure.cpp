// Runs a command and writes its peak resident memory and CPU seconds to a file:
//   bench_measure OUT_FILE COMMAND [ARG...]
// The command is forked from this small process rather than from the benchmark's driver,
// because Linux counts into a process's peak the memory of the process it was started from
// until it called exec: a command forked from a large driver would report the driver's size.
// OUT_FILE gets one line "peak_kb=N user_s=U sys_s=S"; the exit status is the command's.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT_FILE COMMAND [ARG...]\n", argv[0]);
        return 2;
    }
    pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 127;
    }
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("wait4");
        return 127;
    }
    if (FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "peak_kb=%ld user_s=%.6f sys_s=%.6f\n", usage.ru_maxrss,
                     usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
                     usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
        std::fclose(out);
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

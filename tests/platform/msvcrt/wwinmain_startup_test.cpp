#include "kernel32/command_line.h"
#include "kernel32/codepage.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

struct ProbeRun {
    std::string output;
    int exitCode = -1;
};

ProbeRun RunProbe(const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(WWINMAIN_PROBE)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, WWINMAIN_PROBE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    ProbeRun run;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string LineOf(const std::string& output) {
    size_t start = output.find("line=");
    size_t end = output.find('\n', start);
    return output.substr(start + 5, end - start - 5);
}

TEST(WWinMainStartupTest, PassesTheWindowsArgumentsAndExitsWithTheResult) {
    ProbeRun run = RunProbe({});
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_NE(run.output.find("instance=module\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("previous=null\n"), std::string::npos);
    EXPECT_NE(run.output.find("show=10\n"), std::string::npos);  // SW_SHOWDEFAULT
    EXPECT_EQ(LineOf(run.output), "");                           // the program's name is not in it
}

TEST(WWinMainStartupTest, CommandLineSplitsBackIntoTheArguments) {
    const std::vector<std::string> arguments = {
        "plain", "two words", "", "quo\"te", "trailing\\", "back\\\\\"slash", "tab\there", "远帆"};
    ProbeRun run = RunProbe(arguments);
    std::string line = LineOf(run.output);
    EXPECT_EQ(line.rfind("plain \"two words\" \"\" ", 0), 0u) << line;
    // The split skips the program's name: put one in front, as a full command line has.
    std::vector<std::u16string> split =
        winlayer::SplitCommandLine(u"probe " + winlayer::WideFromUtf8(line));
    ASSERT_EQ(split.size(), arguments.size() + 1) << line;
    for (size_t i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(winlayer::Utf8FromWide(split[i + 1]), arguments[i]) << i;
}

}  // namespace

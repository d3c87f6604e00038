// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/run_command.h"

#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <string>

namespace vesk::platform {
namespace {

// The exit status, the error output's last line, a missing program and the time limit, which
// ends the whole group the command started.
TEST(RunCommand, ChecksTheExitStatusKeepsTheErrorAndKillsTheGroupAtTheLimit) {
    EXPECT_TRUE(runCommand({"true"}, 5000).ok());
    EXPECT_EQ(runCommand({"sh", "-c", "echo first >&2; echo relay busy >&2; exit 3", "x"}, 5000)
                  .message(),
              "sh exited with status 3: relay busy");
    EXPECT_EQ(runCommand({"sh", "-c", "kill -9 $$"}, 5000).message(),
              "sh was ended by signal 9 (Killed)");
    EXPECT_EQ(runCommand({"/nonexistent/hook"}, 5000).message(),
              "cannot start /nonexistent/hook: No such file or directory");
    // Arguments reach it as they are, never through a shell.
    EXPECT_TRUE(runCommand({"test", "a b;c", "=", "a b;c"}, 5000).ok());

    ScratchFolder folder;
    const std::string pids = folder.file("pids");
    EXPECT_EQ(runCommand({"sh", "-c", "sleep 30 & echo $! > \"$0\"; wait", pids}, 300).message(),
              "sh took longer than 300 ms and was stopped");
    pid_t sleeper = 0;
    std::ifstream(pids) >> sleeper;
    ASSERT_GT(sleeper, 0);
    // Killed with its parent; reaped by whoever adopted it, so it may linger for a moment.
    for (int tries = 0; tries < 500 && ::kill(sleeper, 0) == 0; ++tries) {
        ::usleep(10'000);
    }
    EXPECT_NE(::kill(sleeper, 0), 0) << "the command's child outlived the limit";
}

} // namespace
} // namespace vesk::platform

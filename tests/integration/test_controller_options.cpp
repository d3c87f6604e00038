// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/integration/child_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk {
namespace {

// No display at all: a window system connection would abort the program.
RunResult controller(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VESK_CONTROLLER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
                      {}, std::chrono::seconds(20));
}

TEST(ControllerOptions, HelpAndVersionNeedNoDisplayAndAgreeWithTheTool) {
    for (const char* help : {"--help", "-h"}) {
        const RunResult run = controller({help});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.rfind("Usage: vesk-controller", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("--desktop"), std::string::npos);
    }
    const RunResult version = controller({"--version"});
    const RunResult tool = runProgram({VESK_CLI_PATH, "--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.err, "");
    ASSERT_EQ(version.out.rfind("vesk-controller ", 0), 0u) << version.out;
    ASSERT_EQ(tool.out.rfind("vesk-cli ", 0), 0u) << tool.out;
    EXPECT_EQ(version.out.substr(16), tool.out.substr(9));
}

TEST(ControllerOptions, WrongOptionsAreRefusedBeforeAnyWindow) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"},
                                                 {"pattern.txt"},
                                                 {"--desktop", "-x"},
                                                 {"-platform"}}) {
        SCOPED_TRACE(args.back());
        const RunResult run = controller(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("vesk-controller: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(args.back()), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("display"), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace vesk

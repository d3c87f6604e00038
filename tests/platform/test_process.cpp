// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/process.h"

#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using vesk::platform::findExecutable;
using vesk::platform::startDetached;

namespace {

TEST(Process, FindExecutableLooksOnPath) {
    const std::string sh = findExecutable("sh");
    ASSERT_FALSE(sh.empty());
    EXPECT_TRUE(fs::path(sh).is_absolute()) << sh;
    EXPECT_EQ(fs::path(sh).filename(), "sh");
    EXPECT_EQ(::access(sh.c_str(), X_OK), 0);

    EXPECT_EQ(findExecutable("vesk-no-such-program-here"), "");
    EXPECT_EQ(findExecutable(""), "");
}

TEST(Process, StartDetachedReturnsBeforeTheChildEnds) {
    const vesk::ScratchFolder folder;
    const std::string out = folder.file("out.txt");
    // The child waits, then writes its first argument: a start that waited for the child
    // would find the file already there, and one that split arguments would lose the blank.
    ASSERT_TRUE(startDetached(findExecutable("sh"), {"-c", "sleep 1; printf '%s' \"$1\" > \"$2\"",
                                                     "sh", "two words", out}));
    EXPECT_FALSE(fs::exists(out)) << "startDetached waited for the child";
    std::string text;
    for (int i = 0; i < 1000 && text.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        text = vesk::readWholeFile(out);
    }
    EXPECT_EQ(text, "two words");
}

TEST(Process, StartDetachedReportsAProgramThatCannotStart) {
    EXPECT_FALSE(startDetached("/nonexistent/vesk-tool", {}));
    EXPECT_FALSE(startDetached("vesk-no-such-program-here", {"--tab=3"}));
    EXPECT_FALSE(startDetached("", {}));
}

} // namespace

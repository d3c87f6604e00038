#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
    std::string pattern = (fs::temp_directory_path() / "vesk-process-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    const fs::path out = dir / "out.txt";

    // The child waits, then writes its first argument: a start that waited for the child
    // would find the file already there, and one that split arguments would lose the blank.
    ASSERT_TRUE(startDetached(findExecutable("sh"), {"-c", "sleep 1; printf '%s' \"$1\" > \"$2\"",
                                                     "sh", "two words", out.string()}));
    EXPECT_FALSE(fs::exists(out)) << "startDetached waited for the child";

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string text;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(out);
        std::stringstream content;
        content << in.rdbuf();
        text = content.str();
        if (!text.empty()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(text, "two words");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

TEST(Process, StartDetachedReportsAProgramThatCannotStart) {
    EXPECT_FALSE(startDetached("/nonexistent/vesk-tool", {}));
    EXPECT_FALSE(startDetached("vesk-no-such-program-here", {"--tab=3"}));
    EXPECT_FALSE(startDetached("", {}));
}

} // namespace

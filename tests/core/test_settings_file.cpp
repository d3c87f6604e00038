// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/settings_file.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <sys/stat.h>

namespace vesk {
namespace {

using namespace std::string_literals;

TEST(ParseComportSetting, FirstFieldOnly) {
    const struct {
        std::string bytes;
        std::int32_t port;
    } cases[] = {
        {" 3 \r\n", 3},
        {"-2 \r\n", -2},
        {"7,3", 7},
        {"abc", 0},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"\r\n", 0},
        {"", 0},
        {"   ", 0},
        {"1\t2\n3 9", 123}, // TAB and LF inside the field are dropped
        {"4e1", 40},
        {"5abc 7", 5},
        {"&H10", 0}, // decimal only
        {"1e10", std::numeric_limits<std::int32_t>::max()},
        {"-1e10", std::numeric_limits<std::int32_t>::min()},
        {"\r\n7", 0}, // an empty first line is the first field
        {"9\x1a", 9},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseComportSetting(c.bytes), c.port) << '"' << c.bytes << '"';
    }
}

TEST(ComportSettingText, SignPositionDigitsBlankCrLf) {
    EXPECT_EQ(comportSettingText(3), "\x20\x33\x20\x0d\x0a");
    EXPECT_EQ(comportSettingText(0), " 0 \r\n");
    EXPECT_EQ(comportSettingText(-2), "\x2d\x32\x20\x0d\x0a");
    EXPECT_EQ(comportSettingText(std::numeric_limits<std::int32_t>::min()), "-2147483648 \r\n");
}

TEST(ComportSettingFile, SaveThenLoadAndMissingFile) {
    ScratchFolder folder;
    const std::string path = folder.file(kComportSettingsFile);
    const vesk::Result<std::int32_t> missing = loadComportSetting(path);
    EXPECT_TRUE(missing) << missing.message(); // a missing file is no fault
    EXPECT_EQ(missing.valueOr(-1), 0);
    for (const std::int32_t port : {3, 99, 0, -2, std::numeric_limits<std::int32_t>::max()}) {
        ASSERT_TRUE(saveComportSetting(path, port).ok());
        EXPECT_EQ(readWholeFile(path), comportSettingText(port));
        EXPECT_EQ(loadComportSetting(path).valueOr(-1), port);
    }

    // Only the first field counts, however long the rest of the file is.
    writeWholeFile(path, " 7 \r\n" + std::string(200000, 'x'));
    EXPECT_EQ(loadComportSetting(path).valueOr(-1), 7);

    const vesk::Result<> saved =
        saveComportSetting(folder.file("absent/") + kComportSettingsFile, 3);
    EXPECT_NE(saved.message().find("No such file or directory"), std::string::npos)
        << saved.message();
}

// A settings file that is there but cannot be read is reported at once, without waiting on a
// pipe that has no writer.
TEST(ComportSettingFile, UnreadableFilesAreReported) {
    ScratchFolder folder;
    const std::string fifo = folder.file("fifo"), link = folder.file("link");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", link);
    const std::pair<std::string, std::string> cases[] = {
        {folder.path().string(), "Is a directory"},
        {fifo, "not a regular file but a pipe"},
        {link, "not a regular file but a device"},
    };
    for (const auto& [path, reason] : cases) {
        const vesk::Result<std::int32_t> read = loadComportSetting(path);
        EXPECT_FALSE(read);
        EXPECT_EQ(read.message(), "Cannot read \"" + path + "\": " + reason);
    }
}

} // namespace
} // namespace vesk

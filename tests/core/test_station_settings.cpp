// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/station_settings.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vesk {
namespace {

StationSettings busySettings() {
    StationSettings s;
    s.soundOutput = "USB Audio = CODEC: #1"; // an equals sign in a value
    s.outputLevel = 87.3f;
    s.lastPattern = "/home/op/beacons/a b.txt";
    s.ptt.keyer = PttChoice::Keyer::Cat;
    s.ptt.lines = {platform::PttLines::Rts, true}; // kept while CAT keys
    s.ptt.rig = {3073, "/dev/ttyUSB1", 19200};
    s.clock = kWsprTiming;
    return s;
}

TEST(StationSettings, TextReadsBackAsWritten) {
    StationSettings dtrInverted;
    dtrInverted.ptt.lines = {platform::PttLines::Dtr, true};
    dtrInverted.outputLevel = 0.0f;
    StationSettings rigctld;
    rigctld.ptt.keyer = PttChoice::Keyer::Cat;
    rigctld.ptt.rig = RigAddress::rigctld("127.0.0.1:4532");
    for (const StationSettings& s : {StationSettings{}, busySettings(), dtrInverted, rigctld}) {
        const Result<StationSettings> read = parseStationSettings(stationSettingsText(s));
        ASSERT_TRUE(read) << read.message();
        EXPECT_TRUE(*read == s) << stationSettingsText(s);
    }
    // Missing keys keep their defaults; comments, blank lines and CR LF are fine.
    const Result<StationSettings> some =
        parseStationSettings("# mine\r\n\r\n  ptt=dtr\r\noutput-level = 55.5\n");
    ASSERT_TRUE(some) << some.message();
    EXPECT_EQ(some->ptt.lines, (platform::PttMethod{platform::PttLines::Dtr, false}));
    EXPECT_EQ(some->outputLevel, 55.5f);
    EXPECT_EQ(some->soundOutput, "");
}

TEST(StationSettings, AFaultyLineFailsTheWholeText) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"sound-output = A\ngarbage\n", "line 2: not \"key = value\""},
        {"colour = red\n", "line 1: unknown setting \"colour\""},
        {"output-level = 101\n", "line 1: output-level must be a number from 0 to 100"},
        {"output-level = nan\n", "line 1: output-level must be a number from 0 to 100"},
        {"output-level =\n", "line 1: output-level must be a number from 0 to 100"},
        {"rig-model = 12x\n", "line 1: rig-model must be a whole number from 0 to 999999"},
        {"rig-speed = -1\n", "line 1: rig-speed must be a whole number from 0 to 10000000"},
        {"ptt-inverted = maybe\n", "line 1: ptt-inverted must be yes or no"},
        {"ptt-lines = cat\n", "line 1: ptt-lines must be both, dtr or rts"},
        {"\n\nptt = both-ways\n", "line 3: ptt must be both, dtr, rts or cat"},
        {"clock-every = 7\n", "clock: "},
        {"clock-every = 2\nclock-offset = 120\n", "clock: "},
    };
    for (const auto& c : cases) {
        const Result<StationSettings> read = parseStationSettings(c.text);
        EXPECT_FALSE(read) << c.text;
        EXPECT_EQ(read.message().substr(0, c.error.size()), c.error) << c.text;
        EXPECT_GT(read.message().size(), c.error == "clock: " ? 7u : 0u);
    }
}

TEST(StationSettings, FileSavedLoadedAndRefused) {
    ScratchFolder folder;
    const std::string path = folder.file("config/vesk/settings");
    Result<StationSettings> read = loadStationSettings(path);
    ASSERT_TRUE(read) << read.message(); // missing: defaults, no fault
    EXPECT_TRUE(*read == StationSettings{});

    StationSettings s = busySettings();
    s.soundOutput = "Speakers";
    ASSERT_TRUE(saveStationSettings(path, s).ok()); // makes its folders
    read = loadStationSettings(path);
    ASSERT_TRUE(read) << read.message();
    EXPECT_TRUE(*read == s);

    writeWholeFile(path, "sound-output = Speakers\nnonsense\n");
    read = loadStationSettings(path);
    EXPECT_FALSE(read);
    EXPECT_EQ(read.message(), "Cannot read the settings " + path + ": line 2: not \"key = value\"");

    const std::string folderPath = folder.file("a-folder");
    std::filesystem::create_directory(folderPath);
    read = loadStationSettings(folderPath);
    EXPECT_EQ(read.message().rfind("Cannot read the settings " + folderPath + ": ", 0), 0u)
        << read.message();
    EXPECT_FALSE(saveStationSettings(folderPath, s).ok());
    EXPECT_TRUE(std::filesystem::is_directory(folderPath));

    writeWholeFile(path, std::string(100000, '#'));
    EXPECT_EQ(loadStationSettings(path).message(),
              "Cannot read the settings " + path + ": longer than a settings file can be");
}

TEST(StationSettings, DefaultPathFollowsXdgConfigHome) {
    const EnvOverride home("HOME", "/home/op");
    const EnvOverride config("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(defaultStationSettingsPath(), "/tmp/cfg/vesk/settings");
    config.set("relative/cfg");
    EXPECT_EQ(defaultStationSettingsPath(), "/home/op/.config/vesk/settings");
    config.set(std::nullopt);
    EXPECT_EQ(defaultStationSettingsPath(), "/home/op/.config/vesk/settings");
    home.set(std::nullopt);
    EXPECT_EQ(defaultStationSettingsPath(), "");
}

} // namespace
} // namespace vesk

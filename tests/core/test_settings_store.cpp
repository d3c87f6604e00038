// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/settings_store.h"

#include "devices/settings_file.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace vesk {
namespace {

namespace fs = std::filesystem;
using Problem = SettingsStore::Problem;

// A store on files in a scratch folder, its problems written down.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_.setSettingsFile(settingsPath_);
        store_.setProblemHook([this](Problem problem, const std::string& reason) {
            told_.emplace_back(problem, reason);
        });
    }
    std::string settingsText() const { return readWholeFile(settingsPath_); }

    ScratchFolder scratch_;
    const std::string settingsPath_ = (scratch_.path() / "config" / "vesk" / "settings").string();
    const std::string comportPath_ = scratch_.file(kComportSettingsFile);
    SettingsStore store_;
    std::vector<std::pair<Problem, std::string>> told_;
};

// Each setter with a value other than the default, made on the store and on the settings
// expected to be written.
struct Change {
    const char* name;
    std::function<void(SettingsStore&, StationSettings&)> make;
};

std::vector<Change> changes() {
    PttChoice cat;
    cat.keyer = PttChoice::Keyer::Cat;
    cat.rig = {1, "", 0};
    return {
        {"sound output",
         [](SettingsStore& s, StationSettings& e) {
             s.setSoundOutput(e.soundOutput = "USB headset");
         }},
        {"output level",
         [](SettingsStore& s, StationSettings& e) {
             s.setOutputLevel(55.0f);
             e.outputLevel = 55.0f;
         }},
        {"last pattern",
         [](SettingsStore& s, StationSettings& e) {
             s.setLastPattern(e.lastPattern = "/beacons/a.txt");
         }},
        {"PTT choice",
         [cat](SettingsStore& s, StationSettings& e) {
             s.setPttChoice(e.ptt = cat);
         }},
        {"clock timing",
         [](SettingsStore& s, StationSettings& e) {
             s.setClockTiming(e.clock = {10, 5});
         }},
    };
}

// Once shown, each change writes the file, and setting a value it holds already writes nothing.
TEST_F(SettingsStoreTest, EachChangeIsWrittenAndNoChangeWritesNothing) {
    store_.readSettingsFile(); // missing: the defaults
    store_.markShown();
    StationSettings expected;
    for (const Change& change : changes()) {
        change.make(store_, expected);
        EXPECT_EQ(settingsText(), stationSettingsText(expected)) << change.name;
        writeWholeFile(settingsPath_, "# not written since\n");
        change.make(store_, expected);
        EXPECT_EQ(settingsText(), "# not written since\n") << change.name;
    }
    EXPECT_TRUE(told_.empty());
}

// Until the window shows what was read nothing is written; what changed meanwhile goes with
// the first write after.
TEST_F(SettingsStoreTest, NothingIsWrittenBeforeTheWindowShowsWhatWasRead) {
    StationSettings remembered;
    remembered.outputLevel = 40.0f;
    remembered.soundOutput = "First output";
    ASSERT_TRUE(saveStationSettings(settingsPath_, remembered).ok());
    const std::string before = settingsText();
    store_.readSettingsFile();
    EXPECT_EQ(store_.outputLevel(), 40.0f);
    EXPECT_EQ(store_.soundOutput(), "First output");
    StationSettings expected;
    for (const Change& change : changes()) {
        change.make(store_, expected);
    }
    store_.markShown();
    EXPECT_EQ(settingsText(), before);
    store_.setOutputLevel(70.0f);
    expected.outputLevel = 70.0f;
    EXPECT_EQ(settingsText(), stationSettingsText(expected));
}

// A settings file that cannot be read is told once and left as it is for the whole run, the
// way out included; the program still uses what it is given.
TEST_F(SettingsStoreTest, AnUnreadableSettingsFileIsToldAndNeverWritten) {
    fs::create_directories(fs::path(settingsPath_).parent_path());
    const std::string garbage = "output-level = 20\nvolume at eleven\n";
    writeWholeFile(settingsPath_, garbage);
    store_.readSettingsFile();
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_EQ(told_[0].first, Problem::SettingsUnreadable);
    EXPECT_EQ(told_[0].second,
              "Cannot read the settings " + settingsPath_ + ": line 2: not \"key = value\"");
    EXPECT_FALSE(store_.outputLevel().has_value()) << "nothing is half-read";
    store_.markShown();
    StationSettings ignored;
    for (const Change& change : changes()) {
        change.make(store_, ignored);
    }
    store_.finish();
    store_.setOutputLevel(12.0f);
    EXPECT_EQ(settingsText(), garbage);
    EXPECT_EQ(store_.clockTiming(), (ClockTiming{10, 5}));
    EXPECT_EQ(told_.size(), 1u);
}

// A write that fails is told the first time only; after finish() nobody is told.
TEST_F(SettingsStoreTest, AFailedWriteIsToldOnce) {
    store_.readSettingsFile(); // missing
    writeWholeFile(scratch_.file("config"), "a file where the folder should be");
    store_.markShown();
    store_.setOutputLevel(10.0f);
    store_.setOutputLevel(20.0f);
    store_.setSoundOutput("USB headset");
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_EQ(told_[0].first, Problem::SaveFailed);
    EXPECT_NE(told_[0].second.find(scratch_.file("config")), std::string::npos) << told_[0].second;

    SettingsStore leaving;
    leaving.setSettingsFile(settingsPath_);
    leaving.setProblemHook([this](Problem problem, const std::string& reason) {
        told_.emplace_back(problem, reason);
    });
    leaving.markShown();
    leaving.finish();
    leaving.setOutputLevel(30.0f);
    EXPECT_EQ(told_.size(), 1u);
}

// The port number is written on the way out only, and never over a file that could not be
// read; a problem met before there is a hook is told when one is set, in order.
TEST(SettingsStorePort, WrittenAtTheEndUnlessItsFileCouldNotBeRead) {
    ScratchFolder scratch;
    const std::string path = scratch.file(kComportSettingsFile);
    SettingsStore missing;
    missing.readComportFile(path);
    EXPECT_EQ(missing.pttComport(), 0);
    missing.setPttComport(7);
    EXPECT_FALSE(fs::exists(path));
    missing.finish();
    EXPECT_EQ(readWholeFile(path), " 7 \r\n");

    SettingsStore kept;
    kept.readComportFile(path);
    EXPECT_EQ(kept.pttComport(), 7);
    EXPECT_EQ(kept.comportFile(), path);

    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const std::string settings = scratch.file("settings");
    writeWholeFile(settings, "nonsense\n");
    SettingsStore pipe;
    pipe.setSettingsFile(settings);
    pipe.readComportFile(path);
    pipe.readSettingsFile();
    EXPECT_EQ(pipe.pttComport(), 0);
    std::vector<std::pair<Problem, std::string>> told;
    pipe.setProblemHook(
        [&](Problem problem, const std::string& reason) { told.emplace_back(problem, reason); });
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0],
              std::make_pair(Problem::ComportUnreadable,
                             "Cannot read \"" + path + "\": not a regular file but a pipe"));
    EXPECT_EQ(told[1].first, Problem::SettingsUnreadable);
    pipe.setPttComport(3);
    pipe.finish();
    EXPECT_TRUE(fs::is_fifo(path));

    SettingsStore refused;
    refused.readComportFile(scratch.file("other.ini"));
    refused.refuseComportFile("Cannot create the folder");
    refused.setPttComport(4);
    refused.finish();
    EXPECT_FALSE(fs::exists(scratch.file("other.ini")));
}

} // namespace
} // namespace vesk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/keyer_opener.h"
#include "devices/lines_keyer.h"
#include "devices/ptt_choice.h"
#include "devices/transmission_log.h"
#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vesk {
namespace {

using platform::PttLines;

PttChoice lines(PttLines which, bool inverted) {
    PttChoice choice;
    choice.lines = {which, inverted};
    return choice;
}

PttChoice cat(RigAddress rig) {
    PttChoice choice;
    choice.keyer = PttChoice::Keyer::Cat;
    choice.rig = std::move(rig);
    return choice;
}

// The words of the options and the settings file, and the names the log gives each keying.
TEST(PttChoice, WordsAndDescriptionsForEachKeying) {
    const struct {
        const char* word;
        bool inverted;
        PttChoice choice;
        std::int32_t comport;
        const char* described;
    } cases[] = {
        {"both", false, lines(PttLines::DtrRts, false), 3, "DTR+RTS on COM 3"},
        {"dtr", true, lines(PttLines::Dtr, true), 12, "DTR inverted on COM 12"},
        {"rts", false, lines(PttLines::Rts, false), 0, "RTS, no port"},
        {"cat", false, cat({}), 3, "CAT to Hamlib model 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(pttChoiceFromWord(c.word, c.inverted), c.choice);
        EXPECT_EQ(pttKeyerWord(c.choice), c.word);
        EXPECT_EQ(describePttChoice(c.choice, c.comport), c.described);
    }
    EXPECT_EQ(pttChoiceFromWord("DTR", false), std::nullopt);
    EXPECT_EQ(pttChoiceFromWord("", false), std::nullopt);
    EXPECT_EQ(describePttChoice(cat({3073, "/dev/ttyUSB0", 19200}), 5),
              "CAT to Hamlib model 3073 at /dev/ttyUSB0 (19200 Bd)");
    EXPECT_EQ(describePttChoice(cat(RigAddress::rigctld("localhost:4532")), 5),
              "CAT to rigctld at localhost:4532");
}

TEST(PttChoice, ACatChoiceNeedsARigAndAWholeAddress) {
    EXPECT_TRUE(checkPttChoice(lines(PttLines::Rts, true)));
    EXPECT_TRUE(checkPttChoice(cat({1, "", 0})));
    EXPECT_TRUE(checkPttChoice(cat(RigAddress::rigctld("127.0.0.1:4532"))));
    EXPECT_TRUE(checkPttChoice(cat(RigAddress::rigctld("[::1]:4532"))));
    EXPECT_EQ(checkPttChoice(cat({})).message(),
              "CAT keying needs a rig model or a rigctld address.");
    for (const char* address :
         {"localhost", "localhost:", ":4532", "host:0", "host:65536", "host:45x"}) {
        EXPECT_EQ(checkPttChoice(cat(RigAddress::rigctld(address))).message(),
                  "\"" + std::string(address) + "\" is not a rigctld address (host:port).");
    }
    EXPECT_FALSE(checkPttChoice(cat({1, "/dev/ttyUSB0", -1})));
}

TEST(TransmissionLog, LinesNameBothTimesToTheMillisecondAndTheKeying) {
    // 2026-12-07T05:30:00.012Z and 61.2385 s later.
    const UtcNanoseconds keyed = 1796621400'012'000'000;
    TransmissionRecord record{
        7, keyed, keyed + 61'238'500'000, "/home/op/b.txt", "DTR+RTS on COM 3", 1, false, {}, 0};
    EXPECT_EQ(transmissionLine(record), "2026-12-07T05:30:00.012Z\t2026-12-07T05:31:01.250Z\t"
                                        "cycle 7\t/home/op/b.txt\tDTR+RTS on COM 3\t1 underrun");
    record.underruns = 0;
    EXPECT_EQ(transmissionLine(record).substr(transmissionLine(record).rfind('\t') + 1),
              "0 underruns");
    // A file name holding a tab or a line break stays in its field and on its line.
    record.pattern = "/home/op/a\tb\nc\r.txt";
    const std::string line = transmissionLine(record);
    EXPECT_EQ(line.substr(line.find("\tcycle 7\t")),
              "\tcycle 7\t/home/op/a\\tb\\nc\\r.txt\tDTR+RTS on COM 3\t0 underruns");
    EXPECT_EQ(formatUtcMilliseconds(-1'000'000), "1969-12-31T23:59:59.999Z");
    // A plan's transmission adds its entry (kept in its field) and the dial frequency.
    record.entry = "wspr\t20m";
    record.frequencyHz = 14'095'600;
    EXPECT_EQ(transmissionLine(record), line + "\twspr\\t20m\t14095600 Hz");
    record.frequencyHz = 0;
    EXPECT_EQ(transmissionLine(record), line + "\twspr\\t20m\t-");
}

TEST(TransmissionLog, FileIsAppendedToInItsOwnFolderAndFailuresNameIt) {
    ScratchFolder scratch;
    const std::string path = scratch.file("state/vesk/transmissions.log");
    {
        TransmissionLogFile log;
        ASSERT_TRUE(log.open(path).ok());
        ASSERT_TRUE(log.append("first").ok());
    }
    TransmissionLogFile log;
    ASSERT_TRUE(log.open(path).ok());
    ASSERT_TRUE(log.append("second").ok());
    EXPECT_EQ(readWholeFile(path), "first\nsecond\n");

    TransmissionLogFile folder;
    const Result<> refused = folder.open(scratch.path().string());
    EXPECT_EQ(refused.message(),
              "Cannot open the transmission log " + scratch.path().string() + ": Is a directory");
    EXPECT_FALSE(folder.append("lost").ok());

    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("XDG_STATE_HOME", "/var/tmp/x", 1);
    EXPECT_EQ(defaultTransmissionLogPath(), "/var/tmp/x/vesk/transmissions.log");
    ::setenv("XDG_STATE_HOME", "relative", 1); // not absolute: ignored, as XDG says
    ::setenv("HOME", "/home/op", 1);
    EXPECT_EQ(defaultTransmissionLogPath(), "/home/op/.local/state/vesk/transmissions.log");
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", home.c_str(), 1);
}

class SteppedClock : public WallClock {
public:
    UtcNanoseconds now() const override { return time += 1'000'000; }
    mutable UtcNanoseconds time = 0;
};

// Lines whose keying can be made to fail, on a port that always opens.
class FailingLines : public platform::SerialLines {
public:
    bool fail = false;
    Result<> open(std::int32_t) override { return {}; }
    bool isOpen() const override { return true; }
    void close() override {}
    Result<> setLines(bool keyed) override {
        return fail && keyed ? vesk::fail("COM7: cannot raise DTR: gone") : Result<>{};
    }
};

// Each keying that worked gives one record at its release, numbered from Turn On, with the
// gaps heard while keyed; a keying that failed gives none, and a way out that releases the
// PTT directly still ends the open record.
TEST(TransmissionLog, LoggerRecordsEachKeyingThatWorked) {
    auto port = std::make_shared<FailingLines>();
    Ptt ptt([port](const PttChoice& choice, std::int32_t comport) {
        return openLinesKeyer(port, comport, choice.lines);
    });
    ASSERT_TRUE(ptt.open(lines(PttLines::Dtr, false), 7).ok());
    std::vector<TransmissionRecord> records;
    SteppedClock clock;
    std::int64_t underruns = 4;
    TransmissionLogger logger(
        ptt, [&](const TransmissionRecord& record) { records.push_back(record); }, clock);
    logger.setPattern("b.txt");
    logger.setPttDescription("DTR on COM 7");
    logger.setUnderrunCounter([&] { return underruns; });

    logger.pttOn();
    underruns += 2;
    logger.pttOff();
    logger.pttOff(); // a second release ends nothing
    port->fail = true;
    logger.pttOn();
    logger.pttOff();
    port->fail = false;
    logger.restartCycles();
    logger.pttOn();
    ptt.shutdown();
    logger.endOpenTransmission();

    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[0].keptKeyed);
    EXPECT_EQ(records[0].cycle, 1);
    EXPECT_EQ(records[0].keyed, 1'000'000);
    EXPECT_EQ(records[0].released, 2'000'000);
    EXPECT_EQ(records[0].underruns, 2);
    EXPECT_EQ(records[0].pattern, "b.txt");
    EXPECT_EQ(records[0].ptt, "DTR on COM 7");
    EXPECT_EQ(records[1].cycle, 1);
    EXPECT_EQ(records[1].underruns, 0);
}

} // namespace
} // namespace vesk

namespace vesk {
namespace {

// A gap too short to release keeps the PTT keyed from cycle to cycle: each cycle still gets its
// line, ending where the next begins. A cycle reported over while the next is keyed already
// (the usual order) splits nothing.
TEST(TransmissionLog, EachCycleHasItsLineAlsoWhenThePttStaysKeyed) {
    Ptt ptt(keyerOpener()); // no keyer opened: every keying "works"
    std::vector<TransmissionRecord> records;
    SteppedClock clock;
    TransmissionLogger logger(
        ptt, [&](const TransmissionRecord& record) { records.push_back(record); }, clock);
    logger.pttOn();
    logger.pttOff();
    logger.pttOn();
    logger.cycleEnded(1);
    logger.cycleEnded(2);
    logger.cycleEnded(3);
    logger.pttOff();
    ASSERT_EQ(records.size(), 4u);
    const long cycles[] = {1, 2, 3, 4};
    const bool kept[] = {false, true, true, false};
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].cycle, cycles[i]);
        EXPECT_EQ(records[i].keptKeyed, kept[i]);
    }
    EXPECT_EQ(records[2].keyed, records[1].released);
    EXPECT_EQ(records[3].keyed, records[2].released);
    EXPECT_NE(transmissionLine(records[1]).find("\tcycle 2, PTT kept keyed\t"), std::string::npos);
}

} // namespace
} // namespace vesk

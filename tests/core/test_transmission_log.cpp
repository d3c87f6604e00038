// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/keyer_opener.h"
#include "devices/lines_keyer.h"
#include "devices/ptt_choice.h"
#include "devices/transmission_log.h"
#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Appends lines of 100 bytes to a log on a file system that takes only `room` bytes more (a
// file size limit, or a small tmpfs filled up), then frees the room and appends one more. Runs
// in a child, whose limits and mounts end with it; returns "y"/"n" per append, a line feed,
// the first failure, a line feed and the file's bytes. "skip: ..." when the file system
// cannot be made here.
std::string appendUntilFull(bool tmpfs) {
    ScratchFolder scratch;
    int report[2];
    if (::pipe(report) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        const auto send = [&](const std::string& text) {
            for (std::size_t at = 0; at < text.size();) {
                const ssize_t n = ::write(report[1], text.data() + at, text.size() - at);
                at += n > 0 ? static_cast<std::size_t>(n) : text.size();
            }
            ::_exit(0);
        };
        const std::string log = scratch.file("transmissions.log");
        const std::string filler = scratch.file("filler");
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit unlimited = limit;
        if (tmpfs) {
            // A mount namespace of its own (and a user namespace when not root), so nothing
            // outside the child ever sees the mount. 16 KiB: four pages, half of them filled.
            const uid_t uid = ::getuid();
            const gid_t gid = ::getgid();
            const bool own = uid == 0 ? ::unshare(CLONE_NEWNS) == 0
                                      : ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0;
            if (own && uid != 0) {
                writeWholeFile("/proc/self/setgroups", "deny");
                writeWholeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
                writeWholeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
            }
            if (!own || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", scratch.path().c_str(), "tmpfs", 0, "size=16k") != 0) {
                send(std::string("skip: cannot mount a small tmpfs here: ") + std::strerror(errno));
            }
            writeWholeFile(filler, std::string(8192, 'f'));
        } else {
            limit.rlim_cur = 8192;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        TransmissionLogFile file;
        if (!file.open(log)) {
            send("cannot open");
        }
        std::string results, firstFailure;
        for (int i = 0; i < 100; ++i) {
            std::string line = "line " + std::to_string(i) + " ";
            line.resize(99, 'x');
            const Result<> appended = file.append(line);
            results += appended ? 'y' : 'n';
            if (!appended && firstFailure.empty()) {
                firstFailure = appended.message();
            }
        }
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        std::filesystem::remove(filler);
        results += file.append("after") ? 'y' : 'n';
        send(results + '\n' + firstFailure + '\n' + readWholeFile(log));
    }
    ::close(report[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(report[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        return "ended by signal " + std::to_string(WTERMSIG(status));
    }
    return text;
}

// A full disk or a file size limit: the line that does not fit is not left in part (the next
// would run on from it), the program goes on (no SIGXFSZ), and once there is room again the
// lines go in again.
TEST(TransmissionLog, ALineThatDoesNotFitIsNotWrittenAtAll) {
    for (const bool tmpfs : {false, true}) {
        SCOPED_TRACE(tmpfs ? "a full tmpfs" : "a file size limit");
        const std::string report = appendUntilFull(tmpfs);
        if (report.rfind("skip: ", 0) == 0) {
            std::cout << report << '\n';
            continue;
        }
        const std::size_t firstEnd = report.find('\n');
        const std::size_t secondEnd = report.find('\n', firstEnd + 1);
        ASSERT_NE(secondEnd, std::string::npos) << report;
        const std::string results = report.substr(0, firstEnd);
        const std::string failure = report.substr(firstEnd + 1, secondEnd - firstEnd - 1);
        // 8192 bytes of room: 81 whole lines, the 82nd crosses the end.
        EXPECT_EQ(results, std::string(81, 'y') + std::string(19, 'n') + 'y');
        EXPECT_NE(failure.find(tmpfs ? "No space left on device" : "File too large"),
                  std::string::npos)
            << failure;
        std::string expected;
        for (int i = 0; i < 81; ++i) {
            std::string line = "line " + std::to_string(i) + " ";
            line.resize(99, 'x');
            expected += line + '\n';
        }
        EXPECT_EQ(report.substr(secondEnd + 1), expected + "after\n");
    }
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

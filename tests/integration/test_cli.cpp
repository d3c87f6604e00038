// vesk-cli render, script and convert, run as a separate program.
#include "tests/integration/child_process.h"

#include "files/pattern_file.h"
#include "files/script.h"
#include "tests/core/scratch_folder.h"
#include "tone/pattern.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kCli = VESK_CLI_PATH;

std::string example(const std::string& name) {
    return std::string(VESK_SOURCE_DIR) + "/examples/" + name;
}

RunResult cli(std::vector<std::string> args, const std::string& folder = {}) {
    args.insert(args.begin(), kCli);
    return runProgram(args, {}, folder);
}

std::string describe(const RunResult& run) {
    return "exit " + std::to_string(run.exitCode) + ", signal " + std::to_string(run.endSignal) +
           "\nstdout: " + run.out + "\nstderr: " + run.err;
}

// N straight from the file's first line (dot length in ms, dot count): the samples of
// dotCount + 1 dots at 44100 per second, rounded half to even.
std::int64_t sampleCountFromFirstLine(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line);
    std::int64_t dotLength = 0;
    std::int64_t dotCount = 0;
    fields >> dotLength >> dotCount;
    const std::int64_t thousandths = (dotCount + 1) * 44100 * dotLength;
    std::int64_t n = thousandths / 1000;
    const std::int64_t rest = thousandths % 1000;
    if (rest > 500 || (rest == 500 && n % 2 == 1)) {
        ++n;
    }
    return n;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + i)))
                 << (8 * i);
    }
    return value;
}

std::uint16_t le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                      static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}

std::vector<std::int16_t> samplesOf(const std::string& wav) {
    std::vector<std::int16_t> samples;
    for (std::size_t at = 44; at + 1 < wav.size(); at += 2) {
        samples.push_back(static_cast<std::int16_t>(le16(wav, at)));
    }
    return samples;
}

std::string asString(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The WAV image the engine renders in this process for the pattern file at `path`.
std::string renderedHere(const std::string& path, float level) {
    const LoadResult loaded = loadPatternFile(path);
    EXPECT_TRUE(loaded.ok) << loaded.error;
    const RenderResult render = renderPattern(loaded.pattern, amplitudeForLevel(level));
    EXPECT_TRUE(render.ok) << render.error;
    return asString(render.sound.waveImage());
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(CliRender, ExamplesGiveTheWaveFileOfTheirPattern) {
    for (const char* name : {"tone_ladder.txt", "message_vvv_de_vesk.txt"}) {
        SCOPED_TRACE(name);
        ScratchFolder folder;
        const std::string out = folder.file("beacon.wav");
        // A larger file in the way must be replaced whole, with nothing of it left at the end.
        writeWholeFile(out, std::string(3'000'000, 'x'));

        const RunResult run = cli({"render", example(name), out});
        ASSERT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.err, "");

        const std::string wav = readWholeFile(out);
        const std::int64_t n = sampleCountFromFirstLine(example(name));
        ASSERT_GT(n, 0);
        ASSERT_EQ(static_cast<std::int64_t>(wav.size()), 44 + 2 * n);
        EXPECT_EQ(wav.substr(0, 4), "RIFF");
        EXPECT_EQ(le32(wav, 4), 2 * n + 36);
        EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(le32(wav, 16), 16u);
        EXPECT_EQ(le16(wav, 20), 1); // PCM
        EXPECT_EQ(le16(wav, 22), 1); // mono
        EXPECT_EQ(le32(wav, 24), 44100u);
        EXPECT_EQ(le32(wav, 28), 88200u);
        EXPECT_EQ(le16(wav, 32), 2);
        EXPECT_EQ(le16(wav, 34), 16);
        EXPECT_EQ(wav.substr(36, 4), "data");
        EXPECT_EQ(le32(wav, 40), 2 * n);

        // Without --level the tool plays at position 90.
        EXPECT_TRUE(wav == renderedHere(example(name), 90.0f));
        EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"beacon.wav"});
    }
}

TEST(CliRender, LevelSetsTheAmplitude) {
    const std::string pattern = example("tone_ladder.txt");
    struct Case {
        const char* text;
        float position;
    };
    const Case cases[] = {{"100", 100.0f}, {"0", 0.0f}, {"50.5", 50.5f}, {"1e1", 10.0f}};
    ScratchFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string out = folder.file(std::string("level ") + c.text + ".wav");
        const RunResult run = cli({"render", pattern, out, "--level", c.text});
        ASSERT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_TRUE(readWholeFile(out) == renderedHere(pattern, c.position));
    }

    // Independently of the engine: 10 positions are 10 dB, a factor of sqrt(10) on every
    // sample, and position 0 is silence over the full length.
    const std::vector<std::int16_t> loud = samplesOf(readWholeFile(folder.file("level 100.wav")));
    const RunResult run = cli({"render", pattern, folder.file("default.wav")});
    ASSERT_EQ(run.exitCode, 0) << describe(run);
    const std::vector<std::int16_t> normal = samplesOf(readWholeFile(folder.file("default.wav")));
    ASSERT_EQ(loud.size(), normal.size());
    ASSERT_FALSE(loud.empty());
    const auto peak = std::max_element(loud.begin(), loud.end(),
                                       [](auto a, auto b) { return std::abs(a) < std::abs(b); });
    const auto at = static_cast<std::size_t>(peak - loud.begin());
    EXPECT_GE(std::abs(*peak), 32000);
    EXPECT_NEAR(static_cast<double>(loud[at]) / normal[at], std::sqrt(10.0), 0.002);

    const std::vector<std::int16_t> silent = samplesOf(readWholeFile(folder.file("level 0.wav")));
    EXPECT_EQ(silent.size(), loud.size());
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](std::int16_t s) { return s == 0; }));
}

TEST(CliCommands, OutIsWrittenUnderExactlyTheNameGiven) {
    struct Case {
        const char* command;
        const char* out;
    };
    const Case cases[] = {
        {"render", "beacon"}, {"render", "beacon.txt"},    {"script", "beacon.txt"},
        {"script", "-"},      {"convert", "night.v2.scp"}, {"convert", "with space.Wav"},
    };
    const std::string pattern = example("message_vvv_de_vesk.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.out);
        ScratchFolder folder;
        const RunResult run = cli({c.command, pattern, c.out}, folder.path().string());
        ASSERT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{c.out});
        EXPECT_FALSE(readWholeFile(folder.file(c.out)).empty());
    }
}

TEST(CliCommands, OutThatIsAPipeIsWrittenToNotReplaced) {
    ScratchFolder folder;
    const std::string fifo = folder.file("listener");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string pattern = example("tone_ladder.txt");
    ChildProcess child({kCli, "render", pattern, fifo});

    // Read until the tool has ended and the pipe is empty; a tool that renames a file over
    // the pipe never opens it, and nothing arrives.
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, 20);
        char chunk[65536];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            received.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (ended) {
            break;
        }
        ended = child.wait(std::chrono::milliseconds(0));
    }
    ::close(fd);
    ASSERT_TRUE(ended);
    EXPECT_EQ(child.exitCode(), 0) << child.standardError();
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(received == renderedHere(pattern, 90.0f)) << received.size() << " bytes";
}

TEST(CliScript, WritesTheScriptLineOfTheLoadedPattern) {
    struct Case {
        const char* name;
        const char* file; // first line: ms, dots - 1, spacing, centre, repeat; then row, level
        const char* line;
    };
    const Case cases[] = {
        {"level change mid-pattern", "100 4 10 1000 10\r\n8 1\r\n8 1\r\n0 1\r\n3 4\r\n3 4\r\n",
         "88XP2DDQ\r\n"},
        {"whole pattern at -6 dB", "100,4,10,1000,10\r\n8,2\r\n8,2\r\n0,2\r\n3,2\r\n3,2\r\n",
         "P188XDDQ\r\n"},
        // Erased slots count as level code 1: no level command at all.
        {"erased slot between full-level dots", "50 2 5 700 2\r\n1 1\r\n16 0\r\n8 1\r\n",
         "F08Q\r\n"},
        {"one dot", "100 0 10 1000 0\r\n8 4\r\n", "P28Q\r\n"},
        // Only the slots in use are written, whatever the file holds after them.
        {"slots past the dot count", "100 1 10 1000 5\r\n0 1\r\n0 1\r\n8 1\r\n8 1\r\n", "XXQ\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        writeWholeFile(folder.file("p.txt"), c.file);
        const RunResult run = cli({"script", folder.file("p.txt"), folder.file("p.scp")});
        ASSERT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_EQ(readWholeFile(folder.file("p.scp")), c.line);
    }
}

// Parameters and the slots in use; a converted file holds no slots past the dot count.
void expectSamePatternInUse(const BeaconPattern& a, const BeaconPattern& b) {
    EXPECT_EQ(a.dotLength, b.dotLength);
    EXPECT_EQ(a.dotCount, b.dotCount);
    EXPECT_EQ(a.frequencySpacing, b.frequencySpacing);
    EXPECT_EQ(a.centreFrequency, b.centreFrequency);
    EXPECT_EQ(a.repeatDots, b.repeatDots);
    for (int slot = 0; slot <= std::min(a.dotCount, kMaxDotCount); ++slot) {
        EXPECT_EQ(a.toneIndex[static_cast<std::size_t>(slot)],
                  b.toneIndex[static_cast<std::size_t>(slot)])
            << "slot " << slot;
        EXPECT_EQ(a.levelCode[static_cast<std::size_t>(slot)],
                  b.levelCode[static_cast<std::size_t>(slot)])
            << "slot " << slot;
    }
}

TEST(CliConvert, WritesTheWritersTextAndReadsBackTheSamePattern) {
    struct Case {
        const char* name;
        std::string file;
    };
    const Case cases[] = {
        {"tone ladder", readWholeFile(example("tone_ladder.txt"))},
        {"message", readWholeFile(example("message_vvv_de_vesk.txt"))},
        // Commas, fractions, a hexadecimal number, an integer position of 100.5 (read as
        // 100), a dot count above the slots and no line ends at all.
        {"loose layout", "100.5,700,2.5,1500.25,&HC8,8,1,12,4,0,.5,16,16"},
        {"empty file", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        writeWholeFile(folder.file("in.txt"), c.file);
        const RunResult run = cli({"convert", folder.file("in.txt"), folder.file("out.txt")});
        ASSERT_EQ(run.exitCode, 0) << describe(run);

        const LoadResult original = loadPatternFile(folder.file("in.txt"));
        ASSERT_TRUE(original.ok);
        const std::string written = readWholeFile(folder.file("out.txt"));
        EXPECT_EQ(written, patternFileText(original.pattern));
        const LoadResult again = loadPatternFile(folder.file("out.txt"));
        ASSERT_TRUE(again.ok);
        expectSamePatternInUse(again.pattern, original.pattern);
        // Line 1 and one line per slot in use.
        EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), original.pattern.dotCount + 2);
    }
}

TEST(CliCommands, FailuresSayOneLineAndLeaveOutAlone) {
    struct Case {
        const char* name;
        std::vector<std::string> args; // "{p}" a good pattern, "{out}" an existing file
    };
    const Case cases[] = {
        {"missing pattern (render)", {"render", "{dir}/absent.txt", "{out}"}},
        {"missing pattern (script)", {"script", "{dir}/absent.txt", "{out}"}},
        {"missing pattern (convert)", {"convert", "{dir}/absent.txt", "{out}"}},
        {"missing pattern (play)", {"play", "{dir}/absent.txt"}},
        {"pattern with a line break in its name", {"render", "{dir}/absent\n.txt", "{out}"}},
        {"pattern is a folder", {"render", "{dir}/folder", "{out}"}},
        {"pattern that cannot be rendered", {"render", "{huge}", "{out}"}},
        {"out in a missing folder", {"render", "{p}", "{dir}/absent/out.wav"}},
        {"out is a folder (render)", {"render", "{p}", "{dir}/folder"}},
        {"out is a folder (script)", {"script", "{p}", "{dir}/folder"}},
        {"out is a folder (convert)", {"convert", "{p}", "{dir}/folder"}},
        {"level above 100", {"render", "{p}", "{out}", "--level", "101"}},
        {"level below 0", {"render", "{p}", "{out}", "--level", "-0.5"}},
        {"level not a number", {"render", "{p}", "{out}", "--level", "abc"}},
        {"level with trailing text", {"render", "{p}", "{out}", "--level", "50x"}},
        {"level NaN", {"render", "{p}", "{out}", "--level", "nan"}},
        {"level empty", {"render", "{p}", "{out}", "--level", ""}},
        {"level without its value", {"render", "{p}", "{out}", "--level"}},
        {"cycles negative", {"play", "{p}", "--cycles", "-1"}},
        {"comport not a number", {"play", "{p}", "--comport", "seven"}},
        {"device below -1", {"play", "{p}", "--device", "-2"}},
        {"unknown command", {"frobnicate", "{p}", "{out}"}},
        {"unknown option", {"render", "{p}", "{out}", "--loud"}},
        {"no command", {}},
        {"too few arguments", {"render", "{p}"}},
        {"too many arguments", {"convert", "{p}", "{out}", "{dir}/third.txt"}},
        {"arguments to devices", {"devices", "{out}"}},
    };
    const std::string precious = "precious\r\nbytes\0 kept"s;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        const std::string dir = folder.path().string();
        fs::create_directory(folder.file("folder"));
        writeWholeFile(folder.file("folder/inside"), "inside");
        writeWholeFile(folder.file("p.txt"), readWholeFile(example("tone_ladder.txt")));
        writeWholeFile(folder.file("huge.txt"), "10000000 600 10 1000 600\r\n8 1\r\n");
        writeWholeFile(folder.file("out"), precious);
        const std::set<std::string> before = namesIn(folder.path());

        std::vector<std::string> args;
        for (std::string arg : c.args) {
            for (const auto& [key, value] : {std::pair<std::string, std::string>{"{dir}", dir},
                                             {"{p}", folder.file("p.txt")},
                                             {"{huge}", folder.file("huge.txt")},
                                             {"{out}", folder.file("out")}}) {
                if (arg.rfind(key, 0) == 0) {
                    arg = value + arg.substr(key.size());
                }
            }
            args.push_back(arg);
        }
        const RunResult run = cli(args, dir);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.endSignal, 0);
        EXPECT_GT(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.back(), '\n');
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_GT(run.err.size(), 12u) << "a message that says something";

        EXPECT_EQ(readWholeFile(folder.file("out")), precious);
        EXPECT_EQ(readWholeFile(folder.file("folder/inside")), "inside");
        EXPECT_EQ(namesIn(folder.path()), before) << "files left behind or removed";
    }
}

TEST(CliCommands, HelpAndVersion) {
    for (const char* flag : {"--help", "-h"}) {
        SCOPED_TRACE(flag);
        const RunResult run = cli({flag});
        EXPECT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind("Usage: vesk-cli", 0), 0u) << run.out;
        for (const char* word : {"render", "script", "convert", "play", "devices", "--level",
                                 "--device", "--comport", "--cycles", "--version"}) {
            EXPECT_NE(run.out.find(word), std::string::npos) << word;
        }
    }
    // Help wins over everything else on the line, even arguments that are wrong.
    const RunResult withCommand = cli({"render", "--level", "999", "--help"});
    EXPECT_EQ(withCommand.exitCode, 0) << describe(withCommand);
    EXPECT_EQ(withCommand.out.rfind("Usage:", 0), 0u);

    const RunResult version = cli({"--version"});
    EXPECT_EQ(version.exitCode, 0) << describe(version);
    EXPECT_EQ(version.err, "");
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1) << version.out;
    EXPECT_NE(version.out.find("vesk-cli"), std::string::npos) << version.out;
    EXPECT_NE(version.out.find("1.09"), std::string::npos) << version.out;
}

} // namespace
} // namespace vesk

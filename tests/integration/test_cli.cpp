// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli render, script and convert, run as a separate program.
#include "tests/integration/child_process.h"

#include "files/pattern_file.h"
#include "tests/core/scratch_folder.h"
#include "tone/pattern.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
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
    return "exit " + std::to_string(run.exitCode) + "\nstdout: " + run.out + "\nstderr: " + run.err;
}

// The WAV image the engine renders in this process for the pattern file at `path`.
std::string renderedHere(const std::string& path, float level) {
    const Result<BeaconPattern> pattern = loadPatternFile(path);
    EXPECT_TRUE(pattern) << pattern.message();
    const Result<RenderedSound> render =
        renderPattern(pattern.valueOr(BeaconPattern{}), amplitudeForLevel(level));
    EXPECT_TRUE(render) << render.message();
    const RenderedSound sound = render.valueOr(RenderedSound());
    const auto image = sound.waveImage();
    return std::string(image.begin(), image.end());
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(CliRender, WritesTheWaveFileOfThePatternAtTheLevelGiven) {
    const struct {
        const char* example;
        std::vector<std::string> options;
        float level;
    } cases[] = {
        {"tone_ladder.txt", {}, 90.0f}, // the default level
        {"message_vvv_de_vesk.txt", {}, 90.0f},
        {"tone_ladder.txt", {"--level", "100"}, 100.0f},
        {"tone_ladder.txt", {"--level", "0"}, 0.0f},
        {"tone_ladder.txt", {"--level", "50.5"}, 50.5f},
        {"tone_ladder.txt", {"--level", "1e1"}, 10.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.example + " "s + (c.options.empty() ? "" : c.options[1]));
        ScratchFolder folder;
        const std::string out = folder.file("beacon.wav");
        // A larger file in the way is replaced whole.
        writeWholeFile(out, std::string(3'000'000, 'x'));
        std::vector<std::string> args{"render", example(c.example), out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult run = cli(args);
        ASSERT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(readWholeFile(out) == renderedHere(example(c.example), c.level));
        EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"beacon.wav"});
    }
}

TEST(CliCommands, OutIsWrittenUnderExactlyTheNameGiven) {
    const std::pair<const char*, const char*> cases[] = {
        {"render", "beacon"}, {"render", "beacon.txt"},    {"script", "beacon.txt"},
        {"script", "-"},      {"convert", "night.v2.scp"}, {"convert", "with space.Wav"},
    };
    for (const auto& [command, name] : cases) {
        SCOPED_TRACE(command + " "s + name);
        ScratchFolder folder;
        const RunResult run =
            cli({command, example("message_vvv_de_vesk.txt"), name}, folder.path().string());
        ASSERT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{name});
        EXPECT_FALSE(readWholeFile(folder.file(name)).empty());
    }
}

TEST(CliCommands, OutThatIsAPipeIsWrittenToNotReplaced) {
    ScratchFolder folder;
    const std::string fifo = folder.file("listener");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ChildProcess child({kCli, "render", example("tone_ladder.txt"), fifo});
    // A tool that renames a file over the pipe never opens it, and nothing arrives.
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (bool ended = false; std::chrono::steady_clock::now() < deadline;) {
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, 20);
        char chunk[65536];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            received.append(chunk, static_cast<std::size_t>(got));
        } else if (ended) {
            break;
        } else {
            ended = child.wait(std::chrono::milliseconds(0));
        }
    }
    ::close(fd);
    EXPECT_EQ(child.exitCode(), 0) << child.standardError();
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(received == renderedHere(example("tone_ladder.txt"), 90.0f)) << received.size();
}

// The script and pattern text themselves are the engine's; here the commands' own part: the
// erased slots of the loaded pattern count as full level (no level command), and convert
// rewrites what it read rather than copying it.
TEST(CliScriptAndConvert, WriteWhatTheLoadedPatternGives) {
    ScratchFolder folder;
    writeWholeFile(folder.file("p.txt"), "50 2 5 700 2\r\n1 1\r\n16 0\r\n8 1\r\n");
    RunResult run = cli({"script", folder.file("p.txt"), folder.file("p.scp")});
    ASSERT_EQ(run.exitCode, 0) << describe(run);
    EXPECT_EQ(readWholeFile(folder.file("p.scp")), "F08Q\r\n");

    // Commas, fractions, a hexadecimal number, a position of 100.5 and no line ends at all.
    writeWholeFile(folder.file("in.txt"), "100.5,3,2.5,1500.25,&HC8,8,1,12,4,0,.5,16,16");
    run = cli({"convert", folder.file("in.txt"), folder.file("out.txt")});
    ASSERT_EQ(run.exitCode, 0) << describe(run);
    const Result<BeaconPattern> original = loadPatternFile(folder.file("in.txt"));
    ASSERT_TRUE(original);
    EXPECT_EQ(readWholeFile(folder.file("out.txt")), patternFileText(*original));
}

TEST(CliCommands, FailuresSayOneLineAndLeaveOutAlone) {
    // "{p}" a good pattern, "{out}" an existing file, "{dir}" the working folder.
    const std::vector<std::string> cases[] = {
        {"render", "{dir}/absent.txt", "{out}"},
        {"play", "{dir}/absent.txt"},
        {"render", "{dir}/absent\n.txt", "{out}"}, // the message stays on one line
        {"script", "{dir}/folder", "{out}"},
        {"render", "{huge}", "{out}"},           // more samples than a WAV file holds
        {"render", "{dir}/junk.txt", "{out}"},   // text that is no pattern
        {"convert", "{dir}/short.txt", "{out}"}, // fewer numbers than its dots need
        {"script", "{dir}/fifo", "{out}"},       // a pipe nobody writes to
        {"render", "{p}", "{dir}/fifo"},         // a pipe nobody reads from
        {"render", "{p}", "{dir}/absent/out.wav"},
        {"render", "{p}", "{dir}/folder"},
        {"convert", "{p}", "{dir}/folder"},
        {"render", "{p}", "{out}", "--level", "101"},
        {"render", "{p}", "{out}", "--level", "-0.5"},
        {"render", "{p}", "{out}", "--level", "abc"},
        {"render", "{p}", "{out}", "--level", "50x"},
        {"render", "{p}", "{out}", "--level", "nan"},
        {"render", "{p}", "{out}", "--level"},
        {"play", "{p}", "--cycles", "-1"},
        {"play", "{p}", "--comport", "seven"},
        {"play", "{p}", "--device", "-2"},
        {"play", "{p}", "--every", "7"},
        {"play", "{p}", "--every", "2", "--offset", "120"},
        {"play", "{p}", "--offset", "5"},
        {"frobnicate", "{p}", "{out}"},
        {"render", "{p}", "{out}", "--loud"},
        {},
        {"render", "{p}"},
        {"convert", "{p}", "{out}", "{dir}/third.txt"},
        {"devices", "{out}"},
    };
    // Every case runs in the same folder: a failure must leave it as it was.
    const std::string precious = "precious\r\nbytes\0 kept"s;
    ScratchFolder folder;
    const std::string dir = folder.path().string();
    fs::create_directory(folder.file("folder"));
    writeWholeFile(folder.file("folder/inside"), "inside");
    writeWholeFile(folder.file("p.txt"), readWholeFile(example("tone_ladder.txt")));
    std::string huge = "10000000 600 10 1000 600\r\n";
    for (int slot = 0; slot < kSlotCount; ++slot) {
        huge += "8 1\r\n";
    }
    writeWholeFile(folder.file("huge.txt"), huge);
    writeWholeFile(folder.file("junk.txt"), "hello world\n");
    writeWholeFile(folder.file("short.txt"), "100 100 10 1000 200\r\n8 1\r\n");
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    writeWholeFile(folder.file("out"), precious);
    const std::set<std::string> before = namesIn(folder.path());
    const std::pair<std::string, std::string> names[] = {{"{dir}", dir},
                                                         {"{p}", folder.file("p.txt")},
                                                         {"{huge}", folder.file("huge.txt")},
                                                         {"{out}", folder.file("out")}};
    for (const auto& c : cases) {
        std::vector<std::string> args;
        std::string trace;
        for (std::string arg : c) {
            trace += arg + " ";
            for (const auto& [key, value] : names) {
                if (arg.rfind(key, 0) == 0) {
                    arg = value + arg.substr(key.size());
                }
            }
            args.push_back(arg);
        }
        SCOPED_TRACE(trace);
        const RunResult run = cli(args, dir);
        EXPECT_GT(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.err.size() > 12 && run.err.back() == '\n') << run.err;
        EXPECT_EQ(readWholeFile(folder.file("out")), precious);
        EXPECT_EQ(readWholeFile(folder.file("folder/inside")), "inside");
        EXPECT_EQ(namesIn(folder.path()), before) << "files left behind or removed";
    }
}

// A signal while OUT is being written ends the tool as the signal does, and nothing of the
// new file is left beside the old one.
TEST(CliCommands, ASignalDuringTheWriteLeavesNoTemporaryFile) {
    std::string pattern = "2000 600 10 1000 600\r\n"; // 106 MB of sound
    for (int slot = 0; slot < kSlotCount; ++slot) {
        pattern += std::to_string(slot % 16 + 1) + " 1\r\n";
    }
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        ScratchFolder folder;
        writeWholeFile(folder.file("p.txt"), pattern);
        writeWholeFile(folder.file("out.wav"), "old");
        ChildProcess child({kCli, "render", folder.file("p.txt"), folder.file("out.wav")});
        // Signalled once the tool holds a new file in the folder open: it is writing.
        const std::string fds = "/proc/" + std::to_string(child.pid()) + "/fd";
        const auto writing = [&] {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(fds, error)) {
                const std::string target = fs::read_symlink(entry.path(), error).string();
                if (target.rfind(folder.path().string() + "/", 0) == 0 &&
                    target.find("p.txt") == std::string::npos) {
                    return true;
                }
            }
            return false;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        bool seen = false;
        while (!seen && child.running() && !child.wait(std::chrono::milliseconds(0)) &&
               std::chrono::steady_clock::now() < deadline) {
            seen = writing();
        }
        ASSERT_TRUE(seen) << "the tool ended before it wrote: " << child.standardError();
        child.signal(number);
        ASSERT_TRUE(child.wait(std::chrono::seconds(30)));
        EXPECT_EQ(child.exitCode(), -1) << child.standardError();
        EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"out.wav", "p.txt"}));
        EXPECT_EQ(readWholeFile(folder.file("out.wav")), "old");
    }
}

TEST(CliCommands, HelpAndVersion) {
    // Help wins over everything else on the line, even arguments that are wrong.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"render", "--level", "999", "--help"}}) {
        SCOPED_TRACE(args.back());
        const RunResult run = cli(args);
        EXPECT_EQ(run.exitCode, 0) << describe(run);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind("Usage: vesk-cli", 0), 0u) << run.out;
    }
    const RunResult version = cli({"--version"});
    EXPECT_EQ(version.exitCode, 0) << describe(version);
    EXPECT_EQ(version.err, "");
    EXPECT_EQ(version.out, "vesk-cli 1.09\n");
}

// render, script, convert and make start at once: the tool loads no window, sound, rig or
// picture library (its helpers do, for play and preview).
TEST(CliCommands, TheToolLoadsNoWindowSoundRigOrPictureLibrary) {
    const RunResult loaded = runProgram({"/usr/bin/ldd", kCli});
    ASSERT_EQ(loaded.exitCode, 0) << describe(loaded);
    ASSERT_NE(loaded.out.find("libc.so"), std::string::npos) << loaded.out;
    for (const char* library :
         {"libQt6", "libhamlib", "libportaudio", "libasound", "libfftw3", "libpng"}) {
        EXPECT_EQ(loaded.out.find(library), std::string::npos) << library << " in\n" << loaded.out;
    }
}

} // namespace
} // namespace vesk

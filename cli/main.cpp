// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "files/atomic_write.h"
#include "files/pattern_file.h"
#include "files/script.h"
#include "files/wave_file.h"
#include "platform/stop_signals.h"
#include "tone/pattern_stream.h"
#include "vesk_version.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <span>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vesk::cli {

namespace {

constexpr const char* kVersion = "vesk-cli " VESK_VERSION;

constexpr const char* kUsage =
    R"(Usage: vesk-cli COMMAND [ARGS]

Commands:
  render PATTERN OUT [--level POS]   render PATTERN and write it as a WAV file to OUT
                                     (POS: output level 0..100, default 90 = -10 dB)
  script PATTERN OUT                 write the one-line script of PATTERN to OUT
  convert PATTERN OUT                read PATTERN and write it again as a pattern file
  play PATTERN [--device N] [--comport N] [--level POS] [--cycles K]
                                     play the beacon without a window: sound on output N
                                     (-1, the default: the system's), PTT on COM N, K repeat
                                     cycles (0, the default: until Ctrl-C or SIGTERM)
       [--every MINUTES [--offset SECONDS]]
                                     on the clock: each cycle starts at the next UTC
                                     time that is a multiple of MINUTES (dividing the day)
                                     plus SECONDS, instead of at the repeat interval
                                     (a WSPR pattern: every 2 minutes at +1 s unless
                                     --every is given; --every 0 plays it at its repeat)
       [--ptt both|dtr|rts [--invert]]
                                     key by the lines of COM N: DTR and RTS (the default),
                                     DTR only or RTS only, the other held cleared; --invert
                                     keys by clearing them and releases by raising them
       [--ptt cat --rigctld HOST:PORT | --ptt cat --rig MODEL [--rig-port DEV]
                                        [--rig-speed BAUD]]
                                     key by CAT command through Hamlib: a running rigctld,
                                     or the rig MODEL (its number in rigctl -l) on the serial
                                     device DEV at BAUD
       [--log FILE]                  append a line for each transmission to FILE (default
                                     $XDG_STATE_HOME/vesk/transmissions.log, else
                                     ~/.local/state/vesk/transmissions.log); each line goes
                                     to stderr too
       [--max-key SECONDS]           release and stop when a key outlasts its pattern by
                                     this much (default 10): a sound that stalls never
                                     leaves the transmitter keyed
       [--http ADDR:PORT [--http-token-file FILE]]
                                     serve a status page, a JSON API (pause, resume, skip,
                                     stop) and Prometheus metrics at ADDR:PORT; off
                                     127.0.0.1 and ::1 every client sends the access token
                                     of FILE (default ~/.config/vesk/http-token, made at
                                     the first start)
  run PLAN [--seed N] [--no-clock-check] [--http ADDR:PORT [--http-token-file FILE]]
                                     send the transmissions of the plan file PLAN (TOML: a
                                     [station] and [[transmission]] entries with their pattern,
                                     slots, dial frequency, share, hours and days) until Ctrl-C
                                     or SIGTERM; nothing is keyed while the system clock is not
                                     synchronised, unless --no-clock-check; --seed N repeats the
                                     draws of the entries' percent
  plan PLAN --next N [--seed N]      list the next N transmissions of PLAN: UTC time, entry,
                                     dial frequency and length (nothing is opened)
  plan PLAN --check                  check PLAN: its keys, patterns and slots
  release [--comport N [--ptt both|dtr|rts [--invert]] | --ptt cat ... | --plan PLAN]
                                     release the transmitter that play with the same PTT
                                     options (or run with PLAN) keys (the lines to their
                                     released levels, or a rig's PTT off by CAT) and exit;
                                     never keys
  devices                            list the sound outputs and the serial ports by number
  make cw|fskcw|dfcw TEXT OUT [--speed QRSS3|QRSS10|QRSS30|QRSS60] [--dot MS] [--shift ROWS]
                          [--spacing HZ] [--centre HZ]
                                     write a pattern file sending TEXT (letters, digits, / ? =
                                     and blanks; quote it) one Morse unit per slot: cw on-off
                                     on the centre row, fskcw dots and dashes ROWS rows (-8..7,
                                     default 1) from the spaces, dfcw dots on the centre row and
                                     dashes ROWS rows from it, one slot each (default QRSS3,
                                     5 Hz spacing, centre 1000 Hz)
  make wspr CALLSIGN LOCATOR DBM OUT [--audio HZ]
                                     write the pattern of a WSPR message (162 slots of 683 ms,
                                     four tones around HZ, default 1500)
  preview PATTERN OUT                draw PATTERN as a grabber shows it (time across, frequency
                                     up, colours in dB) into the PNG file OUT

Options:
  --help       show this text
  --version    show the version

OUT is written exactly as named; an existing file is replaced only after the new content has
been written completely.
)";

// The message stays on one line whatever the file names in it hold.
int refuse(const std::string& message) {
    std::cerr << "vesk-cli: " << oneLine(message) << '\n';
    return 1;
}

// True when OUT can be replaced by renaming a new file over it: it does not exist yet, or it
// is (a link to) a regular file or a folder (which the writer refuses). Device nodes, pipes
// and links that cannot be resolved (/dev/stdout on a pipe) are written in place instead:
// renaming over them would replace the node or the link itself.
bool replaceable(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return true;
    }
    if (S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr || ::stat(resolved, &info) != 0) {
            return false;
        }
    }
    return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
}

// Writes OUT as named: a file is replaced in one step, a device or pipe is written to.
Result<> writeOut(const std::string& path, const ByteSource& next) {
    if (replaceable(path)) {
        return writeFileAtomically(path, next);
    }
    // Opened without waiting: a pipe that nobody reads fails at once (ENXIO) instead of
    // blocking the tool for good. The writes then wait as usual.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0 && errno == ENXIO) {
        return vesk::fail("Cannot write \"" + path + "\": no program is reading from the pipe");
    }
    int errorNumber = fd < 0 ? errno : 0;
    if (fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            errorNumber = errno;
        }
    }
    if (errorNumber == 0) {
        for (auto bytes = next(); errorNumber == 0 && !bytes.empty(); bytes = next()) {
            std::size_t done = 0;
            while (errorNumber == 0 && done < bytes.size()) {
                const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
                if (written < 0 && errno != EINTR) {
                    errorNumber = errno;
                } else if (written > 0) {
                    done += static_cast<std::size_t>(written);
                }
            }
        }
    }
    if (fd >= 0 && ::close(fd) != 0 && errorNumber == 0) {
        errorNumber = errno;
    }
    if (errorNumber != 0) {
        return vesk::fail("Cannot write \"" + path +
                          "\": " + std::generic_category().message(errorNumber));
    }
    return {};
}

Result<> writeOut(const std::string& path, const std::string& text) {
    return writeOut(path,
                    onePiece({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
}

// The progress of a long render on a terminal: one line redrawn in place, cleared at the end.
class ProgressLine {
public:
    explicit ProgressLine(std::string what) : what_(std::move(what)), shown_(::isatty(2) == 1) {}
    ~ProgressLine() {
        if (drawn_) {
            std::fputs("\r\x1b[K", stderr);
        }
    }
    void show(int blocksLeft) {
        if (!shown_) {
            return;
        }
        const int done = 10 - std::clamp(blocksLeft, 0, 10);
        std::string line = "\r" + what_ + " [";
        line.append(static_cast<std::size_t>(done), '#');
        line.append(static_cast<std::size_t>(10 - done), '.');
        line += "] " + std::to_string(10 * done) + "%";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        drawn_ = true;
    }

private:
    std::string what_;
    bool shown_;
    bool drawn_ = false;
};

#ifdef VESK_CLI_SOUND
// play and devices need the sound server and an event loop: they run in vesk-cli-sound, which
// this process becomes, so that the other commands load none of those libraries. It sits
// beside this program in a build, in ../libexec/vesk once installed.
int handOverToSound(char** argv) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return refuse(std::string("cannot find the sound helper: ") + std::strerror(errno));
    }
    const std::string path(self, static_cast<std::size_t>(length));
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    int errorNumber = ENOENT;
    for (const std::string& helper :
         {folder + "vesk-cli-sound", folder + "../libexec/vesk/vesk-cli-sound"}) {
        ::execv(helper.c_str(), argv);
        // Only a helper that is not there lets the next place be tried.
        errorNumber = errno;
        if (errorNumber != ENOENT) {
            break;
        }
    }
    return refuse(std::string("cannot start vesk-cli-sound: ") + std::strerror(errorNumber));
}
#endif

bool loadPattern(const std::string& path, BeaconPattern& pattern) {
    Result<BeaconPattern> loaded = loadPatternFile(path);
    if (!loaded) {
        refuse(loaded.message());
        return false;
    }
    pattern = *loaded;
    return true;
}

// A signal that ends the tool while OUT is being replaced: the temporary file goes first, then
// the signal does what it would have done.
extern "C" void endBySignal(int number) {
    removeTemporaryFile();
    std::signal(number, SIG_DFL);
    std::raise(number);
}

void removeTemporaryFileOnSignals() {
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction action {};
        action.sa_handler = endBySignal;
        sigemptyset(&action.sa_mask);
        for (const int other : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            sigaddset(&action.sa_mask, other);
        }
        ::sigaction(number, &action, nullptr);
    }
}

} // namespace

int runRender(const Options& options) {
    BeaconPattern pattern;
    if (!loadPattern(options.positional[0], pattern)) {
        return 1;
    }
    const Result<PatternStream> stream =
        makePatternStream(pattern, amplitudeForLevel(static_cast<float>(options.level)));
    if (!stream) {
        return refuse(stream.message());
    }
    if (const Result<> fits = checkWaveSize(stream->sampleCount()); !fits) {
        return refuse(fits.message());
    }
    Result<> written;
    {
        ProgressLine progress("writing " + options.positional[1]);
        written = writeOut(options.positional[1],
                           waveFileSource(*stream, [&](int left) { progress.show(left); }));
    }
    if (!written) {
        return refuse(written.message());
    }
    return 0;
}

int runScript(const Options& options) {
    BeaconPattern pattern;
    if (!loadPattern(options.positional[0], pattern)) {
        return 1;
    }
    normaliseErasedLevels(pattern);
    if (const Result<> written = writeOut(options.positional[1], scriptText(pattern)); !written) {
        return refuse(written.message());
    }
    return 0;
}

int runConvert(const Options& options) {
    BeaconPattern pattern;
    if (!loadPattern(options.positional[0], pattern)) {
        return 1;
    }
    if (const Result<> written = writeOut(options.positional[1], patternFileText(pattern));
        !written) {
        return refuse(written.message());
    }
    return 0;
}

} // namespace vesk::cli

// play hands the stop signals, still held and with any that came meanwhile, over to the sound
// helper, which lets them through once its handler is in place; the other commands let them
// through here, once theirs are.
VESK_HOLD_STOP_SIGNALS_AT_LOAD();

int main(int argc, char** argv) {
    using namespace vesk::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << kVersion << '\n';
            return 0;
        }
    }
    if (!args.empty() && (args[0] == "make" || args[0] == "preview")) {
        vesk::platform::letStopSignalsThrough();
        return args[0] == "make" ? runMake(args) : handOverTo("vesk-cli-preview", argv);
    }
    const vesk::Result<Options> parsed = parseOptions(args);
    if (!parsed) {
        return refuse(parsed.message() + " (see vesk-cli --help)");
    }
    const Options& options = *parsed;
    struct Command {
        const char* name;
        std::size_t arguments;
    };
    static const Command commands[] = {{"render", 2}, {"script", 2},  {"convert", 2},
                                       {"play", 1},   {"devices", 0}, {"run", 1},
                                       {"plan", 1},   {"release", 0}};
    const Command* command = nullptr;
    for (const Command& c : commands) {
        if (options.command == c.name) {
            command = &c;
        }
    }
    if (command == nullptr) {
        return refuse(options.command.empty()
                          ? "no command given (see vesk-cli --help)"
                          : "unknown command \"" + options.command + "\" (see vesk-cli --help)");
    }
    if (options.positional.size() != command->arguments) {
        return refuse(std::string(command->name) + " takes " + std::to_string(command->arguments) +
                      " argument(s) (see vesk-cli --help)");
    }
    if (const vesk::Result<> fits = checkCommandOptions(options); !fits) {
        return refuse(fits.message() + " (see vesk-cli --help)");
    }
    if (options.command == "plan") {
        return runPlan(options);
    }
    if (options.command == "render" || options.command == "script" ||
        options.command == "convert") {
        removeTemporaryFileOnSignals();
    }
    if (options.command != "play" && options.command != "devices") {
        vesk::platform::letStopSignalsThrough();
    }
    if (options.command == "render") {
        return runRender(options);
    }
    if (options.command == "script") {
        return runScript(options);
    }
    if (options.command == "convert") {
        return runConvert(options);
    }
#ifdef VESK_CLI_SOUND
    return handOverToSound(argv);
#else
    return refuse("this build has no sound support: \"" + options.command + "\" is not available");
#endif
}

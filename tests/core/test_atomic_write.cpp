// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/atomic_write.h"

#include "files/file_calls.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vesk {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

long entriesIn(const fs::path& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// The system's calls with faults on demand. The `nth` call named `failing` (1: the first) and
// every later one fail with `error` and do nothing, except close, which closes all the same
// as Linux does. The folder may refuse unnamed files (`noUnnamedFiles`) or refuse to name them
// (`noNaming`); writes may be short (`writeAtMost` bytes each); `asAnotherUser` writes as
// someone who owns none of the files.
class FaultyCalls : public FileCalls {
public:
    std::string failing;
    int nth = 1;
    int error = EIO;
    bool noUnnamedFiles = false;
    bool noNaming = false;
    std::size_t writeAtMost = std::numeric_limits<std::size_t>::max();
    bool asAnotherUser = false;
    std::map<std::string, int> counts;
    std::vector<std::pair<unsigned, unsigned>> ownersGiven; // by each fchown that worked

    int open(const char* path, int flags, unsigned mode) override {
        if ((flags & O_TMPFILE) == O_TMPFILE && noUnnamedFiles) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return fails("open") ? -1 : FileCalls::open(path, flags, mode);
    }
    std::int64_t write(int fd, const void* data, std::size_t size) override {
        return fails("write") ? -1 : FileCalls::write(fd, data, std::min(size, writeAtMost));
    }
    std::int64_t pread(int fd, void* data, std::size_t size, std::int64_t offset) override {
        return fails("pread") ? -1 : FileCalls::pread(fd, data, size, offset);
    }
    int fsync(int fd) override { return fails("fsync") ? -1 : FileCalls::fsync(fd); }
    int close(int fd) override {
        const int closed = FileCalls::close(fd);
        return fails("close") ? -1 : closed;
    }
    int fchown(int fd, unsigned owner, unsigned group) override {
        if (fails("fchown")) {
            return -1;
        }
        ownersGiven.emplace_back(owner, group);
        return FileCalls::fchown(fd, owner, group);
    }
    int fchmod(int fd, unsigned mode) override {
        return fails("fchmod") ? -1 : FileCalls::fchmod(fd, mode);
    }
    int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) override {
        if (noNaming) {
            errno = EPERM;
            return -1;
        }
        return fails("linkat") ? -1 : FileCalls::linkat(fromFolder, from, toFolder, to, flags);
    }
    int rename(const char* from, const char* to) override {
        return fails("rename") ? -1 : FileCalls::rename(from, to);
    }
    int unlink(const char* path) override { return fails("unlink") ? -1 : FileCalls::unlink(path); }
    unsigned geteuid() override { return FileCalls::geteuid() + (asAnotherUser ? 1 : 0); }
    unsigned getegid() override { return FileCalls::getegid() + (asAnotherUser ? 1 : 0); }

private:
    bool fails(const std::string& call) {
        if (++counts[call] >= nth && call == failing) {
            errno = error;
            return true;
        }
        return false;
    }
};

// `calls` stand in for the system's while it lives.
class Installed {
public:
    explicit Installed(FileCalls& calls) : previous_(useFileCalls(&calls)) {}
    ~Installed() { useFileCalls(previous_); }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

private:
    FileCalls* previous_;
};

// The three ways a new file gets its name: linked from an unnamed file, copied from an unnamed
// file that cannot be linked, or written under a temporary name from the start.
enum class Route { Unnamed, Copied, Named };

FaultyCalls callsFor(Route route) {
    FaultyCalls calls;
    calls.noNaming = route == Route::Copied;
    calls.noUnnamedFiles = route == Route::Named;
    return calls;
}

// 3000 bytes, handed out by threePieces() in three pieces of 1000.
const std::string kThreePieces = [] {
    std::string text(3000, ' ');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char>('a' + (i + i / 1000) % 26);
    }
    return text;
}();

ByteSource threePieces() {
    return [from = std::size_t{0}]() mutable {
        const std::size_t size = std::min<std::size_t>(1000, kThreePieces.size() - from);
        const auto* data = reinterpret_cast<const std::uint8_t*>(kThreePieces.data()) + from;
        from += size;
        return std::span<const std::uint8_t>(data, size);
    };
}

// Whichever way the new file gets its name, and with writes that take only part of what they
// are given, the whole content arrives, the mode is kept and nothing else is left behind.
TEST(WriteFileAtomically, EveryRouteWritesTheWholeFileAndLeavesNothingBehind) {
    for (const Route route : {Route::Unnamed, Route::Copied, Route::Named}) {
        SCOPED_TRACE(static_cast<int>(route));
        ScratchFolder folder;
        const std::string path = folder.file("beacon.txt");
        writeWholeFile(path, "old pattern");
        chmod(path.c_str(), 0640);
        FaultyCalls calls = callsFor(route);
        calls.writeAtMost = 333;
        const std::size_t descriptors = openDescriptors();
        Result<> written;
        {
            const Installed installed(calls);
            written = writeFileAtomically(path, threePieces());
        }
        ASSERT_TRUE(written) << written.message();
        EXPECT_EQ(readWholeFile(path), kThreePieces);
        EXPECT_EQ(modeOf(path), 0640u);
        EXPECT_EQ(entriesIn(folder.path()), 1);
        EXPECT_EQ(openDescriptors(), descriptors);
        EXPECT_EQ(calls.counts["pread"] > 0, route == Route::Copied);
        EXPECT_EQ(calls.counts["linkat"] > 0, route == Route::Unnamed);
    }
}

// Whatever call fails on the way, on each route: the old file is kept as it was (a new one is
// not made), no temporary and no descriptor is left, and the sentence gives the system's
// reason.
TEST(WriteFileAtomically, AFailureAnywhereKeepsTheOldFileAndLeavesNothingBehind) {
    const struct {
        const char* call;
        int nth;
        int error;
        const char* reason;
        bool copiedOnly; // the call is made on the copy route alone
    } faults[] = {
        {"open", 1, EACCES, "Permission denied", false},
        {"write", 2, ENOSPC, "No space left on device", false}, // the first piece is in
        {"fchmod", 1, EPERM, "its permissions cannot be kept (Operation not permitted)", false},
        {"fsync", 1, EIO, "Input/output error", false},
        {"close", 1, EIO, "Input/output error", false}, // as NFS reports a lost write
        {"rename", 1, EBUSY, "Device or resource busy", false},
        {"pread", 1, EIO, "Input/output error", true}, // a short copy is no copy
        {"open", 2, EMFILE, "Too many open files", true},
    };
    for (const auto& [route, replacing] : {std::pair{Route::Unnamed, true},
                                           {Route::Copied, true},
                                           {Route::Named, true},
                                           {Route::Unnamed, false}}) {
        for (const auto& fault : faults) {
            // A new file has no mode to keep.
            if ((fault.copiedOnly && route != Route::Copied) ||
                (!replacing && std::string(fault.call) == "fchmod")) {
                continue;
            }
            SCOPED_TRACE(std::string(fault.call) + " on route " +
                         std::to_string(static_cast<int>(route)) + (replacing ? "" : ", new"));
            ScratchFolder folder;
            const std::string path = folder.file("beacon.txt");
            if (replacing) {
                writeWholeFile(path, "old pattern");
            }
            FaultyCalls calls = callsFor(route);
            calls.failing = fault.call;
            calls.nth = fault.nth;
            calls.error = fault.error;
            const std::size_t descriptors = openDescriptors();
            Result<> written;
            {
                const Installed installed(calls);
                written = writeFileAtomically(path, threePieces());
            }
            EXPECT_EQ(written.message(), "Cannot write \"" + path + "\": " + fault.reason);
            EXPECT_EQ(readWholeFile(path), replacing ? "old pattern" : "");
            EXPECT_EQ(entriesIn(folder.path()), replacing ? 1 : 0);
            EXPECT_EQ(openDescriptors(), descriptors);
        }
    }
}

// A new file gets the umasked mode; no temporary is left.
TEST(WriteFileAtomically, NewFileTakesTheUmask) {
    ScratchFolder folder;
    for (const auto& [mask, mode] : {std::pair{022u, 0644u}, std::pair{077u, 0600u}}) {
        const mode_t old = umask(mask);
        const std::string path = folder.file("new" + std::to_string(mask));
        const vesk::Result<> written = writeFileAtomically(path, std::string("one\r\ntwo\r\n"));
        umask(old);
        ASSERT_TRUE(written) << written.message();
        EXPECT_EQ(readWholeFile(path), "one\r\ntwo\r\n");
        EXPECT_EQ(modeOf(path), mode) << mask;
    }
    EXPECT_EQ(entriesIn(folder.path()), 2);
}

TEST(WriteFileAtomically, LinkIsFollowedAndKeptAndRelativeNamesUseTheCurrentFolder) {
    ScratchFolder folder;
    writeWholeFile(folder.file("real.txt"), "old");
    fs::create_symlink(folder.file("real.txt"), folder.file("link.txt"));
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path());
    const vesk::Result<> written = writeFileAtomically("link.txt", std::string(" 3 \r\n"));
    fs::current_path(previous);
    ASSERT_TRUE(written) << written.message();
    EXPECT_TRUE(fs::is_symlink(folder.file("link.txt")));
    EXPECT_EQ(readWholeFile(folder.file("real.txt")), " 3 \r\n");
    EXPECT_EQ(entriesIn(folder.path()), 2);
}

// Only a regular file is replaced; anything else, also behind a link, is left as it is.
TEST(WriteFileAtomically, RefusesWhatIsNoWritableRegularFile) {
    ScratchFolder folder;
    const std::string fifo = folder.file("fifo"), readOnly = folder.file("read-only");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeWholeFile(readOnly, "keep");
    chmod(readOnly.c_str(), 0444);
    fs::create_symlink("/dev/null", folder.file("to-null"));
    fs::create_symlink(fifo, folder.file("to-fifo"));
    fs::create_symlink("loop", folder.file("loop"));
    const std::pair<std::string, std::string> cases[] = {
        {"to-null", "not a regular file but a device"},
        {"to-fifo", "not a regular file but a pipe"},
        {"fifo", "not a regular file but a pipe"},
        {"read-only", "the file is read-only"},
        {"loop", "Too many levels of symbolic links"},
    };
    for (const auto& [name, reason] : cases) {
        const vesk::Result<> written = writeFileAtomically(folder.file(name), std::string("new"));
        EXPECT_FALSE(written) << name;
        EXPECT_EQ(written.message(), "Cannot write \"" + folder.file(name) + "\": " + reason);
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(fs::read_symlink(folder.file("to-null")), "/dev/null");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(readWholeFile(readOnly), "keep");
    EXPECT_EQ(entriesIn(folder.path()), 5);

    // A link to nothing yet: the file is created where it points, the link stays.
    fs::create_symlink("made", folder.file("to-new"));
    ASSERT_TRUE(writeFileAtomically(folder.file("to-new"), std::string("made")).ok());
    EXPECT_EQ(readWholeFile(folder.file("made")), "made");
    EXPECT_TRUE(fs::is_symlink(folder.file("to-new")));
}

// Runs `write` as an ordinary user (nobody); the tests run as root. Its error text.
std::string asOrdinaryUser(const std::function<std::string()>& write) {
    return inChild([&] {
        return setgid(65534) != 0 || setuid(65534) != 0 ? "cannot become nobody" : write();
    });
}

// A file the user may not write is refused; one whose owner cannot be kept as well. A file
// written by someone other than its owner goes back to its owner and group.
TEST(WriteFileAtomically, KeepsTheOwnerOrRefuses) {
    {
        // Written as another user: the system refuses the change of owner (as it refuses it to
        // anyone but root), then allows it.
        ScratchFolder folder;
        const std::string theirs = folder.file("theirs");
        writeWholeFile(theirs, "keep");
        chmod(theirs.c_str(), 0664);
        struct stat owner {};
        ASSERT_EQ(stat(theirs.c_str(), &owner), 0);
        FaultyCalls calls;
        calls.asAnotherUser = true;
        calls.failing = "fchown";
        calls.error = EPERM;
        Result<> refused, kept;
        {
            const Installed installed(calls);
            refused = writeFileAtomically(theirs, std::string("new"));
            calls.failing.clear();
            kept = writeFileAtomically(theirs, std::string("new"));
        }
        EXPECT_EQ(refused.message(),
                  "Cannot write \"" + theirs +
                      "\": its owner and group cannot be kept (Operation not permitted)");
        ASSERT_TRUE(kept) << kept.message();
        EXPECT_EQ(calls.ownersGiven,
                  (std::vector<std::pair<unsigned, unsigned>>{{owner.st_uid, owner.st_gid}}));
        EXPECT_EQ(readWholeFile(theirs), "new");
        EXPECT_EQ(modeOf(theirs), 0664u);
        EXPECT_EQ(entriesIn(folder.path()), 1);
    }
    if (geteuid() != 0) {
        // An ordinary user meets the system's own refusal: a file its owner may not write,
        // though its group may, is kept.
        ScratchFolder folder;
        const std::string locked = folder.file("locked");
        writeWholeFile(locked, "keep");
        chmod(locked.c_str(), 0064);
        EXPECT_EQ(writeFileAtomically(locked, std::string("new")).message(),
                  "Cannot write \"" + locked + "\": Permission denied");
        chmod(locked.c_str(), 0644);
        EXPECT_EQ(readWholeFile(locked), "keep");
        EXPECT_EQ(entriesIn(folder.path()), 1);
        return;
    }

    // Root: real files of another user, written as that user and as root.
    ScratchFolder folder;
    chmod(folder.path().c_str(), 0777);
    const std::string notMine = folder.file("not-mine"), shared = folder.file("shared");
    writeWholeFile(notMine, "keep");
    chmod(notMine.c_str(), 0644);
    writeWholeFile(shared, "keep");
    chmod(shared.c_str(), 0666);
    const std::string error = asOrdinaryUser([&] {
        std::string joined;
        for (const std::string& path : {notMine, shared}) {
            joined += writeFileAtomically(path, std::string("new")).message() + "\n";
        }
        return joined;
    });
    EXPECT_EQ(error, "Cannot write \"" + notMine + "\": Permission denied\n" + "Cannot write \"" +
                         shared +
                         "\": its owner and group cannot be kept (Operation not permitted)\n");
    EXPECT_EQ(readWholeFile(notMine) + readWholeFile(shared), "keepkeep");

    // Root replaces another user's file and gives it back to that user.
    ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
    const vesk::Result<> asRoot = writeFileAtomically(shared, std::string("new"));
    ASSERT_TRUE(asRoot) << asRoot.message();
    struct stat info {};
    stat(shared.c_str(), &info);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0666u);
    EXPECT_EQ(entriesIn(folder.path()), 2);
}

} // namespace
} // namespace vesk

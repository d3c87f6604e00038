// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/atomic_write.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A new file gets the umasked mode, a replaced file keeps its own; no temporary is left.
TEST(WriteFileAtomically, NewFileTakesTheUmaskReplacedFileKeepsItsMode) {
    ScratchFolder folder;
    for (const auto& [mask, mode] : {std::pair{022u, 0644u}, std::pair{077u, 0600u}}) {
        const mode_t old = umask(mask);
        const std::string path = folder.file("new" + std::to_string(mask));
        const vesk::Result<> written = writeFileAtomically(path, std::string("one\r\ntwo\r\n"));
        umask(old);
        ASSERT_TRUE(written) << written.message();
        EXPECT_EQ(readWholeFile(path), "one\r\ntwo\r\n");
        EXPECT_EQ(modeOf(path), mode) << mask;
        chmod(path.c_str(), 0755);
        ASSERT_TRUE(writeFileAtomically(path, std::string("new")).ok());
        EXPECT_EQ(readWholeFile(path), "new");
        EXPECT_EQ(modeOf(path), 0755u);
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

// The file size limit stands in for a full disk: the write fails halfway.
TEST(WriteFileAtomically, FailedWriteLeavesTheOldFileIntact) {
    ScratchFolder folder;
    const std::string path = folder.file("beacon.txt");
    writeWholeFile(path, "old pattern");
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit small = oldLimit;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const vesk::Result<> written = writeFileAtomically(path, std::string(1000, 'n'));
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(written.message(), "Cannot write \"" + path + "\": File too large");
    EXPECT_EQ(readWholeFile(path), "old pattern");
    EXPECT_EQ(entriesIn(folder.path()), 1);
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

// Runs `write` as an ordinary user (nobody) when the tests run as root; its error text.
std::string asOrdinaryUser(const std::function<std::string()>& write) {
    if (geteuid() != 0) {
        return write();
    }
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return "no pipe";
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(2);
        }
        const std::string error = write();
        [[maybe_unused]] const auto written = ::write(pipeEnds[1], error.data(), error.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string error;
    char chunk[256];
    for (ssize_t got; (got = read(pipeEnds[0], chunk, sizeof chunk)) > 0;) {
        error.append(chunk, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return error;
}

// A file the user may not write is refused; one whose owner cannot be kept as well.
TEST(WriteFileAtomically, KeepsTheOwnerOrRefuses) {
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
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs files of another user";
    }
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

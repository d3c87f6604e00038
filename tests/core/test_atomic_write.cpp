#include "files/atomic_write.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

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
    std::string error;
    for (const auto& [mask, mode] : {std::pair{022u, 0644u}, std::pair{077u, 0600u}}) {
        const mode_t old = umask(mask);
        const std::string path = folder.file("new" + std::to_string(mask));
        const bool ok = writeFileAtomically(path, std::string("one\r\ntwo\r\n"), error);
        umask(old);
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(readWholeFile(path), "one\r\ntwo\r\n");
        EXPECT_EQ(modeOf(path), mode) << mask;
        chmod(path.c_str(), 0755);
        ASSERT_TRUE(writeFileAtomically(path, std::string("new"), error)) << error;
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
    std::string error;
    const bool ok = writeFileAtomically("link.txt", std::string(" 3 \r\n"), error);
    fs::current_path(previous);
    ASSERT_TRUE(ok) << error;
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
    std::string error;
    const bool ok = writeFileAtomically(path, std::string(1000, 'n'), error);
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "Cannot write \"" + path + "\": File too large");
    EXPECT_EQ(readWholeFile(path), "old pattern");
    EXPECT_EQ(entriesIn(folder.path()), 1);
}

} // namespace
} // namespace vesk

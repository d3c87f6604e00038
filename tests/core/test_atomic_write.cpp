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

// Sets the umask for one test and puts the old one back.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : old_(umask(mask)) {}
    ~UmaskScope() { umask(old_); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

private:
    mode_t old_;
};

TEST(WriteFileAtomically, NewFileGetsItsBytesAndTheUmaskedMode) {
    ScratchFolder folder;
    const struct {
        mode_t mask;
        unsigned mode;
    } cases[] = {{022, 0644}, {077, 0600}, {0, 0644}};
    for (const auto& c : cases) {
        const UmaskScope scope(c.mask);
        const std::string path = folder.file("new" + std::to_string(c.mask) + ".txt");
        std::string error;
        ASSERT_TRUE(writeFileAtomically(path, std::string("one\r\ntwo\r\n"), error)) << error;
        EXPECT_EQ(readWholeFile(path), "one\r\ntwo\r\n");
        EXPECT_EQ(modeOf(path), c.mode) << c.mask;
    }
    EXPECT_EQ(entriesIn(folder.path()), 3); // no temporary files left behind
}

TEST(WriteFileAtomically, ReplacedFileKeepsItsMode) {
    ScratchFolder folder;
    const std::string path = folder.file("beacon.txt");
    for (const unsigned mode : {0600u, 0755u, 0640u}) {
        writeWholeFile(path, "old contents that are longer than the new");
        chmod(path.c_str(), mode);
        std::string error;
        ASSERT_TRUE(writeFileAtomically(path, std::string("new"), error)) << error;
        EXPECT_EQ(readWholeFile(path), "new");
        EXPECT_EQ(modeOf(path), mode);
    }
    EXPECT_EQ(entriesIn(folder.path()), 1);
}

TEST(WriteFileAtomically, LinkIsFollowedAndKept) {
    ScratchFolder folder;
    const std::string target = folder.file("real.txt");
    const std::string link = folder.file("link.txt");
    writeWholeFile(target, "old");
    fs::create_symlink(target, link);
    std::string error;
    ASSERT_TRUE(writeFileAtomically(link, std::string("new"), error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readWholeFile(target), "new");
}

TEST(WriteFileAtomically, RelativeNameWritesIntoTheCurrentFolder) {
    ScratchFolder folder;
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path());
    std::string error;
    const bool ok = writeFileAtomically("plain.ini", std::string(" 3 \r\n"), error);
    fs::current_path(previous);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(readWholeFile(folder.file("plain.ini")), " 3 \r\n");
    EXPECT_EQ(entriesIn(folder.path()), 1);
}

// A write that fails halfway (the file size limit stands in for a full disk) leaves the old
// file exactly as it was and removes the partial new one.
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

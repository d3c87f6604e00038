// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/read_file.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace vesk {
namespace {

TEST(ReadFile, ReadsUpToTheLimitAndSaysWhenThereIsMore) {
    ScratchFolder folder;
    const std::string path = folder.file("data");
    const std::string bytes = "0123456789";
    writeWholeFile(path, bytes);
    for (const std::size_t limit :
         {std::size_t{10}, std::size_t{11}, std::size_t{9}, std::size_t{0}}) {
        const Result<FileBytes> read = readFileBytes(path, limit);
        ASSERT_TRUE(read) << read.message();
        EXPECT_EQ(read->bytes, bytes.substr(0, limit)) << limit;
        EXPECT_EQ(read->cut, limit < bytes.size()) << limit;
    }
}

// Each failure is one sentence: how the caller names the file, then the reason.
TEST(ReadFile, FailuresNameTheFileAndTheReason) {
    ScratchFolder folder;
    const std::string missing = folder.file("missing"), fifo = folder.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    EXPECT_EQ(readFileBytes(missing, 100).message(),
              "Cannot read \"" + missing + "\": No such file or directory");
    EXPECT_EQ(readFileBytes(fifo, 100, IfMissing::Fail, "Cannot open the pipe").message(),
              "Cannot open the pipe: not a regular file but a pipe");
    EXPECT_EQ(readFileBytes(folder.path().string(), 100, IfMissing::ReadEmpty).message(),
              "Cannot read \"" + folder.path().string() + "\": Is a directory");

    // Only a path that names nothing may read as an empty file.
    const Result<FileBytes> empty = readFileBytes(missing, 100, IfMissing::ReadEmpty);
    ASSERT_TRUE(empty) << empty.message();
    EXPECT_TRUE(empty->bytes.empty() && !empty->cut);
}

// A file rewritten in place while it is read, by a writer that keeps it open or opens it for
// each version: each read gives one version whole, or is refused as being written, never half
// of one and half of the other.
TEST(ReadFile, AFileRewrittenWhileItIsReadGivesOneVersionOrNone) {
    ScratchFolder folder;
    const std::string path = folder.file("pattern.txt");
    const std::string versions[] = {std::string(20000, 'a'), std::string(20000, 'b')};
    for (const bool keepsItOpen : {true, false}) {
        SCOPED_TRACE(keepsItOpen ? "kept open" : "opened for each version");
        writeWholeFile(path, versions[0]);
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            int fd = -1;
            for (std::size_t i = 0; !stop; ++i) {
                fd = fd < 0 ? ::open(path.c_str(), O_WRONLY | O_CLOEXEC) : fd;
                const std::string& version = versions[i % 2];
                [[maybe_unused]] const auto n = ::pwrite(fd, version.data(), version.size(), 0);
                if (!keepsItOpen) {
                    ::close(fd);
                    fd = -1;
                }
            }
            ::close(fd);
        });
        // A writer that keeps the file open has every read wait its 0.1 s and be refused.
        const int reads = keepsItOpen ? 20 : 200;
        int halves = 0, refused = 0;
        for (int i = 0; i < reads; ++i) {
            const Result<FileBytes> read = readFileBytes(path, 1u << 20);
            if (!read) {
                ++refused;
                EXPECT_EQ(read.message(), "Cannot read \"" + path +
                                              "\": it was being written every time it was read; "
                                              "try again once it is saved");
            } else if (read->bytes != versions[0] && read->bytes != versions[1]) {
                ++halves;
            }
        }
        stop = true;
        writer.join();
        EXPECT_EQ(halves, 0) << refused << " of " << reads << " reads refused";
    }
}

} // namespace
} // namespace vesk

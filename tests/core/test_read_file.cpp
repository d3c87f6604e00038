// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/read_file.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

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

} // namespace
} // namespace vesk

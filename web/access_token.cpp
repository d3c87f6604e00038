// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/access_token.h"

#include "platform/user_folders.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vesk::web {

namespace {

constexpr std::size_t kTokenBytes = 32;
// A token file holds one line; anything longer is not one.
constexpr std::size_t kLongestFile = 4096;

bool tokenCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("-._~+/=", c) != nullptr;
}

Result<std::string> newToken() {
    unsigned char bytes[kTokenBytes];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno != EINTR) {
            return fail(std::string("cannot make an access token: ") + std::strerror(errno));
        }
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

// Made with O_EXCL: of two beacons started at once, the second reads what the first wrote.
Result<> makeTokenFile(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::exists(folder, error)) {
        fs::create_directories(folder, error);
        fs::permissions(folder, fs::perms::owner_all, error);
        if (error) {
            return fail("cannot make the folder of the access token " + folder.string() + ": " +
                        error.message());
        }
    }
    const Result<std::string> token = newToken();
    if (!token) {
        return token.failure();
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno == EEXIST
                   ? Result<>()
                   : fail("cannot make the access token " + path + ": " + std::strerror(errno));
    }
    const std::string line = *token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const bool synced = ::fsync(fd) == 0;
    const int error_number = errno;
    ::close(fd);
    if (!written || !synced) {
        ::unlink(path.c_str());
        return fail("cannot write the access token " + path + ": " + std::strerror(error_number));
    }
    return {};
}

} // namespace

std::string defaultTokenPath() {
    const std::string folder = platform::userFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? std::string() : folder + "/http-token";
}

Result<std::string> loadOrMakeToken(const std::string& path) {
    if (path.empty()) {
        return fail("no place for the access token without a home folder: give --http-token-file");
    }
    if (::access(path.c_str(), F_OK) != 0) {
        if (const Result<> made = makeTokenFile(path); !made) {
            return made.failure();
        }
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return fail("cannot read the access token " + path + ": " + reason);
    }
    std::string text(kLongestFile, '\0');
    const ssize_t got = S_ISREG(info.st_mode) ? ::read(fd, text.data(), text.size()) : -1;
    ::close(fd);
    if (!S_ISREG(info.st_mode)) {
        return fail("the access token " + path + " is not a regular file");
    }
    if ((info.st_mode & 077) != 0) {
        return fail("the access token " + path +
                    " may be read or changed by other users: chmod 600 it");
    }
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    text = text.substr(0, text.find('\n'));
    const auto blank = [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0;
    };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    if (text.size() < kShortestToken || !std::all_of(text.begin(), text.end(), tokenCharacter)) {
        return fail("the access token in " + path + " must be one line of at least " +
                    std::to_string(kShortestToken) +
                    " letters, digits or -._~+/= (remove the file to have a new one made)");
    }
    return text;
}

bool bearerMatches(const std::string& authorization, const std::string& token) {
    constexpr std::size_t kScheme = 7; // "Bearer "
    if (authorization.size() != kScheme + token.size() ||
        !std::equal(
            authorization.begin(), authorization.begin() + kScheme, "bearer ",
            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; })) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i) {
        difference |= static_cast<unsigned char>(authorization[kScheme + i] ^ token[i]);
    }
    return difference == 0;
}

} // namespace vesk::web

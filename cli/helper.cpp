// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace vesk::cli {

int handOverTo(const std::string& helper, char** argv) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    int errorNumber = length <= 0 ? errno : ENOENT;
    if (length > 0) {
        const std::string path(self, static_cast<std::size_t>(length));
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        for (const std::string& candidate :
             {folder + helper, folder + "../libexec/vesk/" + helper}) {
            ::execv(candidate.c_str(), argv);
            // Only a helper that is not there lets the next place be tried.
            errorNumber = errno;
            if (errorNumber != ENOENT) {
                break;
            }
        }
    }
    std::cerr << "vesk-cli: cannot start " << helper << ": " << std::strerror(errorNumber) << '\n';
    return 1;
}

} // namespace vesk::cli

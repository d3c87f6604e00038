// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/export_name.h"

namespace vesk {

std::string exportFileName(const std::string& name, const std::string& extension) {
    const std::size_t slash = name.rfind('/');
    const std::size_t componentStart = slash == std::string::npos ? 0 : slash + 1;
    // A hidden file's leading dots are its name, not an extension to cut.
    const std::size_t stemStart = name.find_first_not_of('.', componentStart);
    const std::size_t dot =
        stemStart == std::string::npos ? std::string::npos : name.find('.', stemStart);
    return name.substr(0, dot) + extension;
}

} // namespace vesk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <string>

// The token that a beacon serving beyond this machine asks of every client, sent as
// "Authorization: Bearer TOKEN".
namespace vesk::web {

// The shortest token taken from a file, in characters.
inline constexpr std::size_t kShortestToken = 16;

// Where the token lives unless --http-token-file names another file: http-token in the config
// folder ($XDG_CONFIG_HOME/vesk, else ~/.config/vesk). Empty without a home.
std::string defaultTokenPath();

// The token in the first line of `path`. A file that does not exist is made, mode 0600 (its
// folder 0700 when made too), with a new random token of 64 hex digits. Refused with the
// operator's sentence: a file other users may read or write, one that is not a regular file,
// and a token shorter than kShortestToken or holding other than letters, digits and -._~+/=.
Result<std::string> loadOrMakeToken(const std::string& path);

// True when `authorization` is "Bearer " and `token` (the scheme in any case), compared in a
// time that does not depend on where the two differ.
bool bearerMatches(const std::string& authorization, const std::string& token);

} // namespace vesk::web

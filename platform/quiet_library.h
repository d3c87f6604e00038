// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vesk::platform {

// Keeps what one shared library prints to stderr through vfprintf out of the program's
// output: that library's own entry for vfprintf (in its table of imported functions) is
// pointed at a function that drops text bound for stderr and passes the rest on. The program
// and every other library keep printing as before. `inside` is any address inside the
// library (a static object it hands out). False when the library or its entry is not found;
// nothing is changed then.
//
// Callers guarantee: one call per library, before it prints, while no other thread loads or
// unloads a library.
bool dropLibraryStderr(const void* inside);

} // namespace vesk::platform

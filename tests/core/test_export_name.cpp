// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/export_name.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(ExportFileName, ReplacesOrAddsTheExtensionOfTheLastComponent) {
    const struct {
        const char* name;
        const char* extension;
        const char* result;
    } cases[] = {
        {"/p/beacon", ".txt", "/p/beacon.txt"},
        {"/p/beacon.dat", ".txt", "/p/beacon.txt"},
        {"/p/night.v2.txt", ".txt", "/p/night.txt"},
        {"/data.old/beacon", ".txt", "/data.old/beacon.txt"},
        {"/data.old/beacon.txt", ".scp", "/data.old/beacon.scp"},
        {"/s/beacon.TXT", ".Wav", "/s/beacon.Wav"}, // the extension as passed
        {"beacon", ".txt", "beacon.txt"},
        {"beacon.", ".txt", "beacon.txt"},
        {"a/b.c/d.e.f", ".scp", "a/b.c/d.scp"},
        {"/p/.beacon", ".txt", "/p/.beacon.txt"}, // leading dots are part of the name
        {"/p/.beacon.dat", ".txt", "/p/.beacon.txt"},
        {"..beacon.x", ".txt", "..beacon.txt"},
        {"/p/", ".txt", "/p/.txt"},
        {"", ".txt", ".txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exportFileName(c.name, c.extension), c.result) << c.name;
    }
}

} // namespace
} // namespace vesk

// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// The sound output and the command-line tool need a Qt event loop on the test's thread.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The programs under test keep their transmission log in a folder of this run, never in
    // the home folder's state.
    std::string state = (std::filesystem::temp_directory_path() / "vesk-state-XXXXXX").string();
    if (::mkdtemp(state.data()) == nullptr || ::setenv("XDG_STATE_HOME", state.c_str(), 1) != 0) {
        return 1;
    }
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code error;
    std::filesystem::remove_all(state, error);
    return result;
}

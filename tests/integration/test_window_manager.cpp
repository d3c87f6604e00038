// SPDX-License-Identifier: GPL-3.0-or-later
// The window under a real X server and window manager (Xvfb and openbox), driven by real key
// presses and clicks (xdotool) and read back with xprop: what only a window manager shows.
// Skipped when those tools are missing (scripts/setup.sh installs them).
#include "tests/core/scratch_folder.h"
#include "tests/integration/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vesk {
namespace {

using namespace std::chrono_literals;

const std::string kMainTitle = "^VESK Controller v";

// The full path of a program on PATH; "" when it is not installed.
std::string installed(const std::string& name) {
    std::istringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(path, folder, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

// The window ids ("0x400009", or decimal as xdotool prints them) in a line, as numbers.
std::vector<unsigned long> windowIds(const std::string& text) {
    std::vector<unsigned long> ids;
    for (std::size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 2)) {
        ids.push_back(std::stoul(text.substr(at), nullptr, 16));
    }
    return ids;
}

class WindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop"}) {
            if ((tools_[tool] = installed(tool)).empty()) {
                GTEST_SKIP() << tool << " is missing: the window manager tests need Xvfb, "
                             << "openbox, xdotool and xprop (scripts/setup.sh installs them)";
            }
        }
        // The server picks a free display and writes its number to standard output.
        server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            tools_["Xvfb"], "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        ASSERT_TRUE(waitFor([&] { return server_->standardOutput().find('\n') != npos; }, 10s));
        display_ = ":" + server_->standardOutput().substr(0, server_->standardOutput().find('\n'));
        manager_ = std::make_unique<ChildProcess>(std::vector<std::string>{tools_["openbox"]},
                                                  EnvironmentChanges{{"DISPLAY", display_}});
        ASSERT_TRUE(waitFor(
            [&] {
                return x("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).find("# 0x") != npos;
            },
            10s))
            << "openbox did not start";
    }

    // The program as a person starts it, with no PTT port chosen yet, its settings and files
    // in the scratch folder.
    void startWindow() {
        const std::string folder = scratch_.path().string();
        window_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{VESK_CONTROLLER_PATH},
            EnvironmentChanges{{"DISPLAY", display_},
                               {"QT_QPA_PLATFORM", "xcb"},
                               {"XDG_CONFIG_HOME", folder + "/config"},
                               {"XDG_DATA_HOME", folder + "/data"},
                               {"VESK_COMPORT_DIR", folder}},
            folder);
    }

    // What a tool prints, run on the test's display.
    std::string x(const std::string& tool, const std::vector<std::string>& args) {
        std::vector<std::string> argv{tools_[tool]};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv, {{"DISPLAY", display_}}, {}, 10s).out;
    }
    void keys(const std::vector<std::string>& args) {
        std::vector<std::string> all{"key", "--delay", "60"};
        all.insert(all.end(), args.begin(), args.end());
        x("xdotool", all);
        std::this_thread::sleep_for(300ms);
    }
    // The id of the window on screen titled `title` (a regular expression), waited for up to
    // 10 s; 0 if none came.
    unsigned long windowTitled(const std::string& title) {
        std::string found;
        const std::vector<std::string> args{"search", "--onlyvisible", "--name", title};
        waitFor([&] { return !(found = x("xdotool", args)).empty(); }, 10s);
        return found.empty() ? 0 : std::stoul(found);
    }
    unsigned long transientFor(unsigned long window) {
        const std::vector<unsigned long> ids =
            windowIds(x("xprop", {"-id", std::to_string(window), "WM_TRANSIENT_FOR"}));
        return ids.empty() ? 0 : ids.front();
    }
    bool modal(unsigned long window) {
        return x("xprop", {"-id", std::to_string(window), "_NET_WM_STATE"})
                   .find("_NET_WM_STATE_MODAL") != npos;
    }
    // A click near the left end of the pattern grid (where a click paints a dot), beside the
    // boxes, which open in the middle.
    void clickTheGrid(unsigned long main) {
        x("xdotool", {"mousemove", "--window", std::to_string(main), "20", "80", "click", "1"});
        std::this_thread::sleep_for(500ms);
    }
    // True when `box` stands above `main` in the window manager's stacking order.
    bool above(unsigned long box, unsigned long main) {
        const std::vector<unsigned long> order =
            windowIds(x("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}));
        const auto boxAt = std::find(order.begin(), order.end(), box);
        return boxAt != order.end() && std::find(order.begin(), boxAt, main) != boxAt;
    }

    static constexpr std::size_t npos = std::string::npos;
    std::map<std::string, std::string> tools_;
    std::unique_ptr<ChildProcess> server_, manager_, window_;
    std::string display_;
    ScratchFolder scratch_;
};

// The start-up notice, About and the PTT box each belong to the main window: transient for it
// and modal, and a click on the greyed main window leaves them above it, with the focus.
TEST_F(WindowManager, BoxesStayAboveTheWindowTheyBelongTo) {
    startWindow();
    const unsigned long notice = windowTitled("^Comport$");
    ASSERT_NE(notice, 0u) << window_->standardError();
    const unsigned long noticeOwner = transientFor(notice); // the window is not shown yet
    keys({"Return"});
    const unsigned long main = windowTitled(kMainTitle);
    ASSERT_NE(main, 0u);
    EXPECT_EQ(noticeOwner, main);
    const struct {
        std::vector<std::string> open;
        const char* title;
        const char* close;
    } boxes[] = {{{"alt+h", "a"}, "^About$", "Return"},
                 {{"alt+p", "p"}, "^PTT control$", "Escape"}};
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.title);
        keys(b.open);
        const unsigned long box = windowTitled(b.title);
        ASSERT_NE(box, 0u);
        EXPECT_EQ(transientFor(box), main);
        EXPECT_TRUE(modal(box));
        clickTheGrid(main);
        EXPECT_TRUE(above(box, main));
        EXPECT_EQ(std::stoul("0" + x("xdotool", {"getactivewindow"})), box) << "the focus";
        keys({b.close});
    }
}

// Keys typed after a box closed arrive whole: "_" whose Shift was let go before the key (its
// release types "-") no longer leaves a key held that the next box swallows.
TEST_F(WindowManager, KeysTypedAfterABoxClosedArriveWhole) {
    startWindow();
    ASSERT_NE(windowTitled("^Comport$"), 0u) << window_->standardError();
    keys({"Return"});
    ASSERT_NE(windowTitled(kMainTitle), 0u);
    const std::vector<std::string> underscore = {"keydown", "shift", "keydown", "minus",
                                                 "keyup",   "shift", "keyup",   "minus"};
    const auto type = [&](const std::string& text) {
        for (const char c : text) {
            if (c == '_') {
                x("xdotool", underscore);
            } else {
                x("xdotool", {"key", std::string(1, c)});
            }
        }
    };
    // The chooser takes keys once it has the focus, a moment after it shows.
    keys({"ctrl+s"});
    ASSERT_NE(windowTitled("^Save file as:$"), 0u);
    std::this_thread::sleep_for(500ms);
    type("x_");
    keys({"Escape"}); // the chooser closes with the key still held
    keys({"ctrl+s"});
    ASSERT_NE(windowTitled("^Save file as:$"), 0u);
    std::this_thread::sleep_for(500ms);
    type("ladder_w");
    keys({"Return"});
    const std::string saved = scratch_.file("ladder_w.txt");
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(saved); }, 5s))
        << "files saved: " << [&] {
               std::string names;
               for (const auto& entry : std::filesystem::directory_iterator(scratch_.path())) {
                   names += entry.path().filename().string() + " ";
               }
               return names;
           }();
}

} // namespace
} // namespace vesk

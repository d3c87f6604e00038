// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window on a fake sound device and a recording serial port (a rig keys by CAT as in
// the program), with message boxes and file dialogs answered from queues.
#include "app/app_main.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/pattern_views.h"
#include "devices/cat/keyer_opener.h"
#include "devices/settings_file.h"
#include "files/pattern_file.h"
#include "platform/fake_audio_out.h"
#include "tests/core/recording_lines.h"
#include "tests/core/scratch_folder.h"
#include "ui/messages.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesk {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& path) {
    return readWholeFile(path.string());
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Questions take the next of replies_, Yes when none is left.
        ui::setMessageBoxResponder([this](const ui::MessageBoxRecord& box) {
            boxes_.push_back(box);
            if ((box.style & 0xFu) != msg::MB_YESNO) {
                return static_cast<int>(msg::IDOK);
            }
            const std::uint32_t reply = replies_.empty() ? msg::IDYES : replies_.front();
            if (!replies_.empty()) {
                replies_.erase(replies_.begin());
            }
            return static_cast<int>(reply);
        });
        ui::setFileDialogHook([this](const std::string& caption, std::string& name) {
            captions_.push_back(caption);
            if (answers_.empty()) {
                return false;
            }
            name = answers_.front();
            answers_.erase(answers_.begin());
            return !name.empty();
        });
    }
    void TearDown() override {
        if (window_ != 0 && ui::windowExists(window_)) {
            ui::dialogEnd(window_, 0);
        }
        ui::processEvents();
        ui::setMessageBoxRecorder({});
        ui::setFileDialogHook({});
    }

    // The main window created, not yet shown.
    void prepare(std::int32_t comport = 0) {
        if (state_.settings.comportFile().empty()) {
            state_.settings.readComportFile((folder_ / kComportSettingsFile).string());
            state_.settings.setPttComport(comport);
        }
        auto audio = std::make_unique<platform::FakeAudioOut>();
        audio_ = audio.get();
        auto lines = std::make_shared<RecordingLines>(lines_);
        port_ = lines.get();
        attachResources(
            state_, [&audio] { return std::move(audio); }, keyerOpener(std::move(lines)),
            SessionHost::Thread::Caller);
        state_.outputDevices = [] {
            return std::vector<std::string>{"Null output"};
        };
        window_ = createMainWindow(state_);
    }
    void start(std::int32_t comport = 0) {
        prepare(comport);
        ui::dialogShowModeless(window_, mainWindowHandler(state_));
    }

    std::int32_t send(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
        return ui::sendMessage(window_, message, wParam, lParam);
    }
    void command(std::int32_t id) { send(msg::WM_COMMAND, static_cast<std::uint32_t>(id), 0); }
    std::int32_t closeBox() { return send(msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0); }
    void scrollLevel(std::uint32_t code, std::uint32_t position = 0) {
        send(msg::WM_HSCROLL, msg::makeWParam(code, position),
             ui::controlHandle(window_, id::kOutputLevel));
    }
    void click(std::uint32_t message, std::int32_t x, std::int32_t y) {
        send(message, 0, msg::makeMouseLParam(x, y));
    }
    std::string text(std::int32_t id) { return ui::controlGetText(window_, id); }
    std::string title() { return ui::windowGetTitle(window_); }
    // The device plays `samples`, then reports what it did.
    void play(std::int64_t samples) {
        audio_->advance(samples);
        audio_->deliver();
        ui::processEvents();
    }
    // Plays on until `done` holds (at most 100 steps of 8192 samples); `done` at the end.
    bool playUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 100 && !done(); ++i) {
            play(8192);
        }
        return done();
    }
    // Reset, Turn On, then the device opens and plays 200 ms: the first cycle is keyed.
    void startPlaying() {
        command(4000);
        command(id::kTurnOnOff);
        play(0);
        play(8820);
    }
    ui::Colour gridPixel(std::int32_t x, std::int32_t y) {
        return ui::graphicPixel(window_, kPatternGridId, x, y);
    }

    ScratchFolder scratch_;
    const fs::path& folder_ = scratch_.path();
    MainWindow state_;
    platform::FakeAudioOut* audio_ = nullptr;
    RecordingLines* port_ = nullptr;
    std::vector<std::string> lines_;
    ui::Window window_ = 0;
    std::vector<ui::MessageBoxRecord> boxes_;
    std::vector<std::uint32_t> replies_;
    std::vector<std::string> answers_;
    std::vector<std::string> captions_;
};

} // namespace vesk

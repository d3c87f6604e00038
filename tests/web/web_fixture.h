// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The status page's server without a beacon: a board the test fills, a control that records
// the commands, the built-in page, and a real server on 127.0.0.1 with a port of its own.
#include "tests/core/scratch_folder.h"
#include "tests/web/http_client.h"

#include "files/pattern_file.h"
#include "web/beacon_api.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vesk {

// Records each command with the client it came from and whether it ran on this (the event
// loop's) thread.
class RecordingControl : public web::BeaconControl {
public:
    struct Call {
        std::string command;
        std::string from;
        bool onLoopThread = false;
    };
    std::vector<Call> calls;

    web::CommandOutcome pause(const std::string& from) override { return note("pause", from); }
    web::CommandOutcome resume(const std::string& from) override { return note("resume", from); }
    web::CommandOutcome skip(const std::string& from) override { return note("skip", from); }
    web::CommandOutcome stop(const std::string& from) override { return note("stop", from); }

private:
    web::CommandOutcome note(const std::string& command, const std::string& from) {
        calls.push_back({command, from, std::this_thread::get_id() == loopThread_});
        return {200, command + "d", command + " taken"};
    }
    std::thread::id loopThread_ = std::this_thread::get_id();
};

// Five 50 ms tone dots: the pattern the pictures draw.
inline BeaconPattern fiveDots() {
    return readPatternText("50 9 50 1000 20\r\n8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n"
                           "0 1\r\n16 1\r\n0 1\r\n")
        .value();
}

class WebFixture : public ::testing::Test {
protected:
    // Serves with `limits`; with a `token`, as a beacon off loopback does.
    void serve(const web::HttpLimits& limits = {}, const std::string& token = {}) {
        pictures.add("beacon", fiveDots());
        web::ApiSources sources{board, commands,  control, pictures,       nullptr,
                                0,     logFile(), token,   "vesk-cli test"};
        api = std::make_unique<web::BeaconApi>(std::move(sources), web::builtInPage());
        web::BeaconApi& served = *api;
        auto started = web::HttpServer::start(
            {"127.0.0.1", 0, false}, limits,
            [&served](const web::HttpRequest& r) { return served.handle(r); });
        ASSERT_TRUE(started) << started.message();
        server = std::move(*started);
        port = server->port();
    }
    void TearDown() override {
        commands.close();
        server.reset();
    }
    std::string logFile() const { return folder.file("transmissions.log"); }

    // Runs `request` on a thread of its own while this thread runs the event loop, which
    // the commands wait for.
    template <typename Request> auto whileLooping(Request request) {
        auto result = std::async(std::launch::async, request);
        while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
            QCoreApplication::processEvents();
        }
        return result.get();
    }

    ScratchFolder folder;
    web::StatusBoard board;
    web::CommandPost commands;
    RecordingControl control;
    web::PatternPictures pictures;
    std::unique_ptr<web::BeaconApi> api;
    std::unique_ptr<web::HttpServer> server;
    std::uint16_t port = 0;
};

} // namespace vesk

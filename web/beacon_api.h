// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan/plan.h"
#include "platform/clock_sync.h"
#include "web/beacon_status.h"
#include "web/command_post.h"
#include "web/http_server.h"
#include "web/pattern_pictures.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk::web {

// What the HTTP commands ask of a beacon's front end. Every call comes on the event loop's
// thread; `from` is the client's address, for the log and the page.
class BeaconControl {
public:
    virtual ~BeaconControl() = default;
    // Releases the PTT at once as Turn Off does (the queued sound plays out); nothing is sent
    // until resumed.
    virtual CommandOutcome pause(const std::string& from) = 0;
    // Sends again: play with a new Turn On, a plan from its next slot.
    virtual CommandOutcome resume(const std::string& from) = 0;
    // Leaves out the next transmission not yet begun: a plan's next slot, play's next cycle.
    virtual CommandOutcome skip(const std::string& from) = 0;
    // The orderly end, as SIGTERM.
    virtual CommandOutcome stop(const std::string& from) = 0;
};

// A file of the page, built into the program.
struct PageFile {
    std::string path; // "/", "/page.js"
    std::string contentType;
    std::string body;
};

// The page's files from the program's resources (index.html, page.css, page.js).
std::vector<PageFile> builtInPage();

// What the API serves from. The references outlive the API; the plan is not changed while it
// serves.
struct ApiSources {
    const StatusBoard& board;
    CommandPost& commands;
    BeaconControl& control;
    PatternPictures& pictures;
    const plan::Plan* plan = nullptr; // run's plan; null for play
    std::uint64_t seed = 0;           // the plan's draws
    std::string logPath;              // the transmission log the page shows the end of
    std::string token;                // empty: no token is asked (a loopback server)
    std::string program;              // "vesk-cli 1.09"
    std::function<platform::ClockSyncReading()> readClock = platform::readClockSync;
    const WallClock& clock = systemWallClock();
};

// The lines the log's tail holds at most, and the default.
inline constexpr int kMostLogLines = 1000;
inline constexpr int kDefaultLogLines = 20;

// The beacon's page, its JSON API and its metrics, routed by exact paths; the access rules
// (token, Origin, Host) are applied here, the server's limits before. Any thread.
class BeaconApi {
public:
    BeaconApi(ApiSources sources, std::vector<PageFile> page);

    HttpResponse handle(const HttpRequest& request);

private:
    struct Route;
    static const Route kRoutes[];

    std::optional<HttpResponse> refuse(const HttpRequest& request, const Route& route) const;
    HttpResponse status(const HttpRequest& request) const;
    HttpResponse next(const HttpRequest& request) const;
    HttpResponse logTail(const HttpRequest& request) const;
    HttpResponse picture(const HttpRequest& request) const;
    HttpResponse metrics(const HttpRequest& request) const;
    HttpResponse pause(const HttpRequest& request) const;
    HttpResponse resume(const HttpRequest& request) const;
    HttpResponse skip(const HttpRequest& request) const;
    HttpResponse stop(const HttpRequest& request) const;
    HttpResponse command(const std::function<CommandOutcome()>& command) const;

    ApiSources sources_;
    std::vector<PageFile> page_;
};

} // namespace vesk::web

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan/plan.h"
#include "platform/result.h"
#include "session/beacon_session.h"
#include "web/beacon_api.h"
#include "web/beacon_status.h"
#include "web/command_post.h"
#include "web/http_server.h"
#include "web/pattern_pictures.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vesk::web {

// How a headless beacon serves its page, as the options give it.
struct WebSettings {
    std::string address;   // --http: "ADDR:PORT" or "PORT"
    std::string tokenFile; // --http-token-file; empty: http-token in the config folder
};

// The beacon a front end serves.
struct ServedBeacon {
    std::string mode;    // "play" or "run"
    std::string source;  // the pattern file or the plan file as given
    std::string logPath; // its transmission log
    std::vector<std::pair<std::string, BeaconPattern>> patterns; // play's, by picture name
    const plan::Plan* plan = nullptr; // run's (its entries' pictures by their names)
    std::uint64_t seed = 0;           // run's draws
};

// The status page, the API and the metrics of one session, from its start to its end. The
// status is kept by a view of the session on the event loop's thread; the server reads it on
// its own threads and hands commands to `control` on the event loop's thread.
class BeaconWeb {
public:
    // Serves `session`, steered by `control`. A token is asked for off 127.0.0.1 and ::1, and
    // wherever --http-token-file is given; it is read or made before anything is served.
    // Fails with the operator's sentence. On the event loop's thread.
    static Result<std::unique_ptr<BeaconWeb>> start(const WebSettings& settings,
                                                    const ServedBeacon& beacon,
                                                    BeaconSession& session, BeaconControl& control);
    // Refuses further commands, stops serving (the answers under way are sent) and leaves the
    // session. Before the session and the control go.
    ~BeaconWeb();
    BeaconWeb(const BeaconWeb&) = delete;
    BeaconWeb& operator=(const BeaconWeb&) = delete;

    // What the front end writes itself: what is on the air, a pause, the cycles to come.
    StatusBoard& board() { return board_; }
    // "serving the status page at http://127.0.0.1:8080/" and where the token is, if asked.
    std::string startLine() const;

private:
    BeaconWeb(BeaconSession& session, const ServedBeacon& beacon);

    BeaconSession& session_;
    StatusBoard board_;
    StatusView view_;
    PatternPictures pictures_;
    CommandPost commands_;
    std::unique_ptr<BeaconApi> api_;
    std::unique_ptr<HttpServer> server_;
    std::string tokenPath_; // empty: no token asked
};

} // namespace vesk::web

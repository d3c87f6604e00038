// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QObject;

namespace vesk::web {

// What a command asked for over HTTP came to.
struct CommandOutcome {
    int status = 200;    // 200 done, 202 queued, 409 not now, 503 the beacon is going away
    std::string state;   // the beacon's state after it: "paused", "playing", "stopping", ...
    std::string message; // one sentence for the operator
};

// How long a command waits for the event loop before the answer says it is queued, in ms. The
// loop is busy this long only while a plan's hook or a rig's command runs.
inline constexpr int kCommandWaitMs = 3000;

// Carries commands from libmicrohttpd's threads to the event loop's thread, which owns the
// session: nothing of the session is touched from another thread. Made, closed and destroyed
// on the event loop's thread.
class CommandPost {
public:
    CommandPost();
    ~CommandPost();
    CommandPost(const CommandPost&) = delete;
    CommandPost& operator=(const CommandPost&) = delete;

    // Runs `command` on the event loop's thread (queued behind what the loop has to do) and
    // returns what it came to; 202 when the loop has not taken it within kCommandWaitMs (it
    // still runs, later), 503 once closed. Any thread but the event loop's.
    CommandOutcome run(std::function<CommandOutcome()> command);
    // Refuses commands from now on and drops those not yet taken; their callers hear 503 at
    // once. Call before what the commands touch goes away.
    void close();

private:
    std::mutex mutex_;
    std::unique_ptr<QObject> context_; // lives on the event loop's thread; null once closed
};

} // namespace vesk::web

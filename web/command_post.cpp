// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/command_post.h"

#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <future>

namespace vesk::web {

namespace {

const CommandOutcome kGoing{503, "stopping", "the beacon is stopping"};

} // namespace

CommandPost::CommandPost() : context_(std::make_unique<QObject>()) {}

CommandPost::~CommandPost() {
    close();
}

CommandOutcome CommandPost::run(std::function<CommandOutcome()> command) {
    // Shared with the queued call: a call dropped unrun (the post closed) destroys the promise
    // unfulfilled, and the waiter below hears of it at once.
    auto promise = std::make_shared<std::promise<CommandOutcome>>();
    std::future<CommandOutcome> outcome = promise->get_future();
    {
        // Under the lock: close() deletes the context on the loop's thread meanwhile.
        std::lock_guard lock(mutex_);
        if (!context_) {
            return kGoing;
        }
        QMetaObject::invokeMethod(
            context_.get(),
            [promise, command = std::move(command)] { promise->set_value(command()); },
            Qt::QueuedConnection);
    }
    promise.reset();
    if (outcome.wait_for(std::chrono::milliseconds(kCommandWaitMs)) != std::future_status::ready) {
        return {202, "busy", "the beacon is busy (a hook or a rig command); the command is queued"};
    }
    try {
        return outcome.get();
    } catch (const std::future_error&) {
        return kGoing;
    }
}

void CommandPost::close() {
    std::unique_ptr<QObject> context;
    {
        std::lock_guard lock(mutex_);
        context = std::move(context_);
    }
    // Deleting the context drops the calls still queued for it.
    context.reset();
}

} // namespace vesk::web

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/keyer.h"

#include <memory>
#include <string>
#include <vector>

namespace vesk {

// What the fake keyers of one opener were asked, and how they answer. Events: "open <what
// describePttChoice says>", "key", "release", "release on the way out", "close". A breach is
// the caller's side of the keyer contract broken: a keyer closed keyed without a release
// tried, or a second keyer asked for while the first still lives.
struct FakeKeyerLog {
    std::vector<std::string> events;
    std::vector<std::string> breaches;
    std::string refuseOpen; // when set, opens fail with this sentence
    bool refuseKeying = false;
    bool refuseRelease = false;
    int live = 0; // keyers handed out and not yet destroyed
};

class FakeKeyer : public Keyer {
public:
    FakeKeyer(std::shared_ptr<FakeKeyerLog> log, std::string description)
        : log_(std::move(log)), description_(std::move(description)) {
        ++log_->live;
    }
    FakeKeyer(const FakeKeyer&) = delete;
    FakeKeyer& operator=(const FakeKeyer&) = delete;
    ~FakeKeyer() override {
        if (keyed_) {
            log_->breaches.push_back("closed keyed: " + description_);
        }
        log_->events.push_back("close");
        --log_->live;
    }

    Result<> setKeyed(bool keyed) override {
        if (!keyed) {
            return releaseAs("release");
        }
        log_->events.push_back("key");
        if (log_->refuseKeying) {
            // A keying that fails has tried to release again.
            return fail(description_ + ": cannot key: refused");
        }
        keyed_ = true;
        return {};
    }
    void release() noexcept override { static_cast<void>(releaseAs("release on the way out")); }
    std::string description() const override { return description_; }

private:
    Result<> releaseAs(const char* event) {
        log_->events.push_back(event);
        keyed_ = false; // tried: whatever the device says, the caller has done its part
        return log_->refuseRelease ? fail(description_ + ": cannot release: refused") : Result<>();
    }

    std::shared_ptr<FakeKeyerLog> log_;
    std::string description_;
    bool keyed_ = false;
};

// Hands out fake keyers that write into `log`.
inline KeyerOpener fakeKeyerOpener(std::shared_ptr<FakeKeyerLog> log) {
    return [log](const PttChoice& choice, std::int32_t comport) -> Result<std::unique_ptr<Keyer>> {
        const std::string description = describePttChoice(choice, comport);
        if (log->live > 0) {
            log->breaches.push_back("opened while another keyer lives: " + description);
        }
        log->events.push_back("open " + description);
        if (!log->refuseOpen.empty()) {
            return fail(log->refuseOpen);
        }
        return std::unique_ptr<Keyer>(std::make_unique<FakeKeyer>(log, description));
    };
}

} // namespace vesk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/keyer.h"
#include "devices/ptt_choice.h"
#include "tone/sequencer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vesk {

// Where the PTT stands. Without a keyer the beacon still keys and releases (the label and the
// log follow it), and nothing reaches a transmitter.
enum class PttState {
    NoKeyer,           // no keyer open, released
    KeyedWithoutKeyer, // no keyer open, keyed by playback
    Released,          // the keyer is open and released
    Keyed,             // the keyer is open and keyed
    Failed,            // the keyer is open, released after a change that failed (reported
                       // once), until a keying works
};

// The one switch the sequencer and the transmission log key through: the keyer last opened
// (the lines of the PTT port, or a rig by CAT command), or none. A change that fails leaves
// the keyer released, shows as released and is reported through the failure hook. The
// window's label and message boxes are in ptt_messages.h.
class Ptt : public Transmitter {
public:
    // `opener` makes each keyer that open() asks for (the real ports and rigs, or a test's).
    explicit Ptt(KeyerOpener opener);
    Ptt(const Ptt&) = delete;
    Ptt& operator=(const Ptt&) = delete;
    ~Ptt() override;

    // Hears the state each keying operation leaves: true keyed, false released.
    void setLabelHook(std::function<void(bool keyed)> hook) { labelHook_ = std::move(hook); }
    // Runs when a change fails, the reason in failure(); not again until a keying works or a
    // keyer is opened. It runs inside the sequencer's call: it must not call back into
    // playback at once (post, or defer).
    void setFailureHook(std::function<void()> hook) { failureHook_ = std::move(hook); }

    // Closes the keyer open before (released first when keyed) and opens the one `choice`
    // names on PTT port `comport`, released. On failure no keyer is open.
    Result<> open(const PttChoice& choice, std::int32_t comport);
    // Closes the keyer, released first when keyed.
    void close();
    // Releases the keyer and closes it, whatever it showed: a transmitter is never left keyed
    // on the way out.
    void shutdown();

    void pttOn() override;
    void pttOff() override;

    PttState state() const { return state_; }
    bool isOpen() const {
        return state_ != PttState::NoKeyer && state_ != PttState::KeyedWithoutKeyer;
    }
    bool keyed() const {
        return state_ == PttState::Keyed || state_ == PttState::KeyedWithoutKeyer;
    }
    // The dial of the open keyer's rig (Keyer::dial); nothing without one. It goes when the
    // keyer is closed.
    Dial* dial() { return keyer_ ? keyer_->dial() : nullptr; }
    // The last change that failed: the port and "cannot raise DTR: " and the system's reason,
    // or the rig's name and Hamlib's reason.
    const std::string& failure() const { return failure_; }

private:
    void setKeyed(bool keyed);
    void showLabel();

    KeyerOpener opener_;
    std::unique_ptr<Keyer> keyer_; // set exactly when isOpen()
    PttState state_ = PttState::NoKeyer;
    std::function<void(bool)> labelHook_;
    std::function<void()> failureHook_;
    std::string failure_;
};

} // namespace vesk

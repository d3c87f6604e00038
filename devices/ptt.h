// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/cat_rig.h"
#include "platform/serial_lines.h"
#include "tone/sequencer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vesk {

// The PTT port: one serial port whose DTR and RTS lines (or one of them) key the transmitter,
// or a rig keyed by CAT command; whichever was opened last. A
// line change that fails drops the lines, shows as released and is reported through the failure
// hook. The window's label and message boxes are in ptt_messages.h.
class Ptt : public Transmitter {
public:
    // `lines` is the port to drive (a real one, or a recording one in tests).
    explicit Ptt(std::unique_ptr<platform::SerialLines> lines);
    ~Ptt() override;

    // Hears the state each keying operation leaves: true keyed, false released.
    void setLabelHook(std::function<void(bool keyed)> hook) { labelHook_ = std::move(hook); }

    // Opens "COM" + number keyed by `method`; the lines are released straight after a
    // successful open.
    Result<> openPttPort(std::int32_t comport, platform::PttMethod method = {});
    // Opens a rig and releases its PTT; a rig that does not answer is closed again.
    Result<> openRig(const RigAddress& address);
    // Releases the lines or the rig and closes it: a transmitter is never left keyed on the
    // way out.
    void shutdown();

    // Runs when a line change fails, the reason in failure(); not again until a keying works
    // or a port is opened. It runs inside the sequencer's call: it must not call back into
    // playback at once (post, or defer).
    void setFailureHook(std::function<void()> hook) { failureHook_ = std::move(hook); }
    // The last failed line change: "COMn: cannot raise DTR: " and the system's reason, or the
    // rig's name and Hamlib's reason.
    const std::string& failure() const { return failure_; }

    // False when the open port refused the change; the lines are then dropped. Without an
    // open port there is nothing to change, and that is no failure.
    bool setPttLines(bool keyed);
    void pttOn() override;
    void pttOff() override;

    bool isOpen() const { return lines_->isOpen() || rig_.isOpen(); }
    bool keyed() const { return keyed_; }

private:
    void showLabel(bool keyed);
    // Closes the port or the rig, released first when keyed.
    void closeKeyer();

    std::unique_ptr<platform::SerialLines> lines_;
    CatRig rig_;
    std::function<void(bool)> labelHook_;
    bool keyed_ = false;
    std::function<void()> failureHook_;
    std::string failure_;
    bool failureReported_ = false;
};

} // namespace vesk

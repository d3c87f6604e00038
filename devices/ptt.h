#pragma once

#include "platform/serial_lines.h"
#include "tone/sequencer.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vesk {

// Control id of the PTT status label in the main window.
inline constexpr std::int32_t kPttLabelId = 2501;

// The PTT port: one serial port whose DTR and RTS lines key the transmitter, and the status
// label that shows the last keying operation. A line change that fails drops the lines, shows
// "PTT OFF" and is reported through the failure hook.
class Ptt : public Transmitter {
public:
    // `lines` is the port to drive (a real one, or a recording one in tests).
    explicit Ptt(std::unique_ptr<platform::SerialLines> lines);
    ~Ptt() override;

    // The window whose label 2501 shows "PTT ON" / "PTT OFF" (0: no label).
    void setWindow(ui::Window window) { window_ = window; }

    // Opens "COM" + number; the lines are released straight after a successful open.
    bool openPttPort(std::int32_t comport);
    // First open at start-up, with its two notices (no port set / failure), system-modal.
    void startPttPort(std::int32_t comport);
    // Closes and reopens the port after a comport choice; "Failure to open comport" on failure.
    void reopenPttPort(std::int32_t comport);
    // Releases the lines and closes the port: a transmitter is never left keyed on the way out.
    void shutdown();

    // Runs when a line change fails, the reason in failure(); not again until a keying works
    // or a port is opened. It runs inside the sequencer's call: it must not call back into
    // playback at once (post, or defer).
    void setFailureHook(std::function<void()> hook) { failureHook_ = std::move(hook); }
    // The last failed line change: "COMn: cannot raise DTR: " and the system's reason.
    const std::string& failure() const { return failure_; }
    // The operator's notice of failure(), a message box like the open failure's.
    void reportFailure() const;

    // False when the open port refused the change; the lines are then dropped. Without an
    // open port there is nothing to change, and that is no failure.
    bool setPttLines(bool keyed);
    void pttOn() override;
    void pttOff() override;

    bool isOpen() const { return lines_->isOpen(); }
    bool keyed() const { return keyed_; }

private:
    void showLabel(bool keyed);

    std::unique_ptr<platform::SerialLines> lines_;
    ui::Window window_ = 0;
    bool keyed_ = false;
    std::function<void()> failureHook_;
    std::string failure_;
    bool failureReported_ = false;
};

} // namespace vesk

#pragma once

#include "platform/serial_lines.h"
#include "tone/sequencer.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <memory>

namespace vesk {

// Control id of the PTT status label in the main window.
inline constexpr std::int32_t kPttLabelId = 2501;

// The PTT port: one serial port whose DTR and RTS lines key the transmitter, and the status
// label that shows the last keying operation.
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

    void setPttLines(bool keyed);
    void pttOn() override;
    void pttOff() override;

    bool isOpen() const { return lines_->isOpen(); }
    bool keyed() const { return keyed_; }

private:
    void showLabel(bool keyed);

    std::unique_ptr<platform::SerialLines> lines_;
    ui::Window window_ = 0;
    bool keyed_ = false;
};

} // namespace vesk

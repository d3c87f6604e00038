// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <map>
#include <string>

namespace vesk::platform {

// The device file that "COM" + number names: $VESK_COMPORT_DIR/COMn when that variable is
// set; else comports/COMn in the settings folder (~/.config/vesk, or $XDG_CONFIG_HOME/vesk:
// userFolder) if present; else COM1-32 /dev/ttyS0-31,
// COM33-64 /dev/ttyUSB0-31, COM65-96 /dev/ttyACM0-31. Empty when the number names none.
std::string comportDevicePath(std::int32_t number);

// The serial adapters' own names: each link in /dev/serial/by-id ($VESK_SERIAL_BY_ID_DIR when
// set, for tests) by the device it leads to, both as full paths. A USB adapter keeps its link
// whatever ttyUSB number it comes back under.
std::map<std::string, std::string> serialByIdLinks();

// Which modem lines key the transmitter. The line not used is held cleared; inverted keys by
// clearing the used lines and releases by asserting them.
enum class PttLines { DtrRts, Dtr, Rts };
struct PttMethod {
    PttLines lines = PttLines::DtrRts;
    bool inverted = false;
    bool operator==(const PttMethod&) const = default;
};

// DTR and RTS as a method leaves them, true asserted.
struct LineLevels {
    bool dtr = false;
    bool rts = false;
    bool operator==(const LineLevels&) const = default;
};
LineLevels lineLevels(PttMethod method, bool keyed);

// The modem lines of one serial port. No byte is ever sent. The one terminal setting touched
// is HUPCL: the kernel then drops the lines whenever the port is closed, also by a crash or a
// kill. It is switched on at open for a method that releases with both lines cleared, and off
// for an inverted one, whose transmitter a dropped line would key.
class SerialLines {
public:
    SerialLines() = default;
    SerialLines(const SerialLines&) = delete;
    SerialLines& operator=(const SerialLines&) = delete;
    virtual ~SerialLines();

    // Opens "COM" + number exclusively; a number opened before whose adapter had a by-id link is
    // opened by that link while it is there, so a re-plugged adapter is found under a new
    // device number. Fails for no device, a non-tty (a regular file), a
    // port already open elsewhere, a port whose HUPCL cannot be set, a port whose lines fail
    // to drop straight after opening. A device without modem lines (a pty) opens: its keying
    // then fails. A failure's sentence is "COMn: " and the reason.
    virtual Result<> open(std::int32_t number);
    virtual void close();
    virtual bool isOpen() const { return fd_ >= 0; }
    // The lines and polarity of the next open; DTR and RTS, not inverted, until set.
    void setMethod(PttMethod method) { method_ = method; }
    PttMethod method() const { return method_; }
    // Sets DTR then RTS to the levels of the method, keyed or released. Fails when a line
    // could not be changed ("COMn: cannot raise DTR: " and the reason) or the port is closed;
    // a keying that fails half-way goes back to the released levels.
    virtual Result<> setLines(bool keyed);

protected:
    // One TIOCMBIS or TIOCMBIC call with one TIOCM_ bit on the open port; the ioctl result,
    // -1 with errno set on failure (ENOTTY when the device has no modem lines). Tests
    // override it to record the line changes or to fail them.
    virtual int modemIoctl(unsigned long request, int bits);

private:
    // Sets both lines to the method's levels, DTR first; a failure gives the first line that
    // would not change and why. With `linesMayBeMissing` a device without modem lines (the
    // first change fails with ENOTTY or EINVAL) passes.
    Result<> changeLines(bool keyed, bool linesMayBeMissing = false);

    int fd_ = -1;
    // The by-id link of each port opened before: a port that went away is opened again by it.
    std::map<std::int32_t, std::string> stableNames_;
    PttMethod method_;
    PttMethod openMethod_; // the method the open port was set up for
    std::string name_;     // "COMn" of the open port
};

} // namespace vesk::platform

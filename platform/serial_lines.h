#pragma once

#include <cstdint>
#include <string>

namespace vesk::platform {

// The device file that "COM" + number names: $VESK_COMPORT_DIR/COMn when that variable is
// set; else ~/.config/vesk/comports/COMn if present; else COM1-32 /dev/ttyS0-31,
// COM33-64 /dev/ttyUSB0-31, COM65-96 /dev/ttyACM0-31. Empty when the number names none.
std::string comportDevicePath(std::int32_t number);

// The modem lines of one serial port. No byte is ever sent and no terminal setting is
// touched: HUPCL stays as the system set it, so a port closed by a crash drops the lines.
class SerialLines {
public:
    SerialLines() = default;
    SerialLines(const SerialLines&) = delete;
    SerialLines& operator=(const SerialLines&) = delete;
    virtual ~SerialLines();

    // Opens "COM" + number exclusively. Fails for no device, a non-tty (a regular file), a
    // port already open elsewhere. Releases both lines straight after opening.
    virtual bool open(std::int32_t number);
    virtual void close();
    virtual bool isOpen() const { return fd_ >= 0; }
    // Keyed: DTR then RTS asserted; released: DTR then RTS cleared. Failures are silent.
    virtual void setLines(bool keyed);
    // Why the last open failed, for logs and the command-line tool.
    const std::string& lastError() const { return lastError_; }

protected:
    // One TIOCMBIS or TIOCMBIC call with one TIOCM_ bit on the open port; the ioctl result
    // (-1 when the device has no modem lines). Tests override it to record the line changes.
    virtual int modemIoctl(unsigned long request, int bits);

private:
    int fd_ = -1;
    std::string lastError_;
};

} // namespace vesk::platform

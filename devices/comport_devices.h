// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the PTT box shows of each "COM n": the device it leads to, when there is one.
namespace vesk {

// The device behind "COM" + number as the system names it ("/dev/ttyUSB0"), followed by the
// name of its /dev/serial/by-id link when it has one; empty when no device is there.
std::string comportDeviceLabel(std::int32_t number);

// comportChoices with each port that leads to a device named after two blanks:
// "COM 33  /dev/ttyUSB0  usb-FTDI_FT232R_USB_UART_A1-if00-port0".
std::vector<std::string> comportChoicesWithDevices();

} // namespace vesk

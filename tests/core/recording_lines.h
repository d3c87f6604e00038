// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/serial_lines.h"

#include <string>
#include <vector>

namespace vesk {

// A port that records what is asked of it in `log` ("open 3", "open 3 inverted" with the
// method it was opened with, "keyed", "refused", "released", "close"). "COM3" is the only one
// that opens, and like a real port it drops its lines on opening. With `refuseKeying` set it
// refuses to key.
class RecordingLines : public platform::SerialLines {
public:
    explicit RecordingLines(std::vector<std::string>& log) : log_(log) {}
    bool refuseKeying = false;

    Result<> open(std::int32_t number) override {
        log_.push_back("open " + std::to_string(number) + (method().inverted ? " inverted" : ""));
        open_ = number == 3;
        if (!open_) {
            return fail("COM" + std::to_string(number) + ": no device for this number");
        }
        log_.push_back("released");
        return {};
    }
    void close() override {
        if (open_) {
            log_.push_back("close");
        }
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    Result<> setLines(bool keyed) override {
        const bool refused = keyed && refuseKeying;
        log_.push_back(refused ? "refused" : keyed ? "keyed" : "released");
        return refused ? fail("COM3: cannot raise DTR: Input/output error") : Result<>();
    }

private:
    std::vector<std::string>& log_;
    bool open_ = false;
};

} // namespace vesk

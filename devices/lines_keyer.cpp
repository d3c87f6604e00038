// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/lines_keyer.h"

namespace vesk {

namespace {

class LinesKeyer : public Keyer {
public:
    LinesKeyer(std::shared_ptr<platform::SerialLines> lines, std::string description)
        : lines_(std::move(lines)), description_(std::move(description)) {}
    LinesKeyer(const LinesKeyer&) = delete;
    LinesKeyer& operator=(const LinesKeyer&) = delete;
    ~LinesKeyer() override { lines_->close(); }

    // The port itself goes back to the released levels when a keying fails half-way.
    Result<> setKeyed(bool keyed) override { return lines_->setLines(keyed); }
    void release() noexcept override { static_cast<void>(lines_->setLines(false)); }
    std::string description() const override { return description_; }

private:
    std::shared_ptr<platform::SerialLines> lines_;
    std::string description_;
};

} // namespace

Result<std::unique_ptr<Keyer>> openLinesKeyer(std::shared_ptr<platform::SerialLines> lines,
                                              std::int32_t comport, platform::PttMethod method) {
    lines->setMethod(method);
    if (Result<> opened = lines->open(comport); !opened) {
        return opened.failure();
    }
    PttChoice choice;
    choice.lines = method;
    return std::unique_ptr<Keyer>(
        std::make_unique<LinesKeyer>(std::move(lines), describePttChoice(choice, comport)));
}

} // namespace vesk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>

namespace vesk {

// How an operation the operator asked for ended: done, or failed with the one sentence to show
// (it names the file or port and the reason, e.g. "COM3: cannot raise DTR: Input/output
// error"). Files, serial lines and the PTT port report failures this way; nothing throws.
class [[nodiscard]] Outcome {
public:
    // Done.
    Outcome() = default;
    // Failed; `sentence` says what and why, and is never empty.
    static Outcome failure(std::string sentence) {
        Outcome outcome;
        outcome.failed_ = true;
        outcome.message_ = std::move(sentence);
        return outcome;
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return !failed_; }
    // The sentence of a failure; empty when done.
    const std::string& message() const { return message_; }

private:
    bool failed_ = false;
    std::string message_;
};

} // namespace vesk

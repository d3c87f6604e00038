// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace vesk {

// A failure on its way to a Result: the one sentence the operator sees. It names the thing
// (a file, a port, a rig, a field) and the reason, e.g. "COM3: cannot raise DTR: Input/output
// error", and is never empty.
struct Failure {
    std::string message;
};

// `return fail("...")` converts to a Result of any type.
inline Failure fail(std::string sentence) {
    return Failure{std::move(sentence)};
}

// How an operation ended: a value (nothing for Result<>), or a Failure. Every fallible call
// across folders returns one; nothing throws.
template <class T = void> class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : message_(std::move(failure.message)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    // The failure's sentence; empty on success.
    const std::string& message() const { return message_; }

    // The value; only on success.
    T& value() & {
        assert(ok());
        return *value_;
    }
    const T& value() const& {
        assert(ok());
        return *value_;
    }
    T&& value() && {
        assert(ok());
        return std::move(*value_);
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T valueOr(T fallback) const& { return ok() ? *value_ : std::move(fallback); }

    // The failure itself, to pass on as the caller's own.
    Failure failure() const { return Failure{message_}; }

private:
    std::optional<T> value_;
    std::string message_;
};

// Done, or failed with a sentence.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failed_(true), message_(std::move(failure.message)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return !failed_; }
    const std::string& message() const { return message_; }
    Failure failure() const { return Failure{message_}; }

private:
    bool failed_ = false;
    std::string message_;
};

} // namespace vesk

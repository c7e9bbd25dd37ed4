// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How every operation on the box, its firmware and its files says how it
// ended: success, or a fault of a kind callers act on and one plain sentence
// that a front end can show as it stands (and add its own advice to).

#include <optional>
#include <ostream>
#include <string>
#include <utility>

namespace device {

enum class Fault {
    None,
    NoDevice,    // no box was found or is open (or its handle is closed)
    NotServed,   // the box's report lengths are outside what the tool serves
    Bootloader,  // an application command, refused: the box runs its bootloader
    OutOfRange,  // a value does not fit where it must go
    Failed,      // a transfer failed, or the box answered short
    Missing,     // the box did not come back as it should (after a restart)
    Ambiguous,   // several boxes could be meant and nothing tells them apart
    Stopped,     // the user stopped it
    Declined,    // the user answered no to a question before anything was sent
    NotKept,     // the box took the writes but holds other values when read back
    BadAnswer,   // what the update service sent cannot be used
};

const char* fault_name(Fault f);

class [[nodiscard]] Status {
public:
    Status() = default;  // success
    Status(Fault fault, std::string sentence) : fault_(fault), sentence_(std::move(sentence)) {}

    explicit operator bool() const { return fault_ == Fault::None; }
    Fault fault() const { return fault_; }
    const std::string& sentence() const { return sentence_; }

    friend bool operator==(const Status& s, Fault f) { return s.fault_ == f; }
    friend std::ostream& operator<<(std::ostream& os, const Status& s) {
        os << fault_name(s.fault_);
        if (!s.sentence_.empty()) os << ": " << s.sentence_;
        return os;
    }

private:
    Fault fault_ = Fault::None;
    std::string sentence_;
};

// A value, or the Status of why there is none.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Status failure) : status_(std::move(failure)) {}

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return &*value_; }
    const Status& status() const { return status_; }
    Fault fault() const { return status_.fault(); }
    const std::string& sentence() const { return status_.sentence(); }

private:
    std::optional<T> value_;
    Status status_;
};

}  // namespace device

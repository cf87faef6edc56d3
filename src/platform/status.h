#pragma once

// Whether an operation succeeded, and when it did not, what was being done and why. Every port
// reports a failure this way; a value the operation yields comes through an out-parameter.

#include <string>

namespace drivelark {

class Status {
public:
    Status() = default;  // success
    // A failure of `context` (the call or what it was made on: "open /dev/rdisk4s1"), with the
    // system's errno value where the system gave one, else 0; without one, `context` says it all.
    explicit Status(std::string context, int errorNumber = 0)
        : failed_(true), context_(std::move(context)), errorNumber_(errorNumber) {}

    bool ok() const { return !failed_; }
    int errorNumber() const { return errorNumber_; }
    // The system's access control said no (EACCES, EPERM): file permissions, or on macOS a privacy
    // setting (a volume the user did not let Drivelark into). Not a missing file or a failing disk.
    bool isRefusal() const;
    // "<context>: <the system's description of the errno value>", or the context alone; "ok".
    std::string toString() const;

private:
    bool failed_ = false;
    std::string context_;
    int errorNumber_ = 0;
};

}  // namespace drivelark

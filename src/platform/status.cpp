#include "platform/status.h"

#include <cerrno>

#include "platform/posix/posix_error.h"

namespace drivelark {

bool Status::isRefusal() const { return errorNumber_ == EACCES || errorNumber_ == EPERM; }

std::string Status::toString() const {
    if (ok()) return "ok";
    return errorNumber_ == 0 ? context_ : context_ + ": " + errorText(errorNumber_);
}

}  // namespace drivelark

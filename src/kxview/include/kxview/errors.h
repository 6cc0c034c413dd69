// The exceptions that reach a host from the component's public members.
#pragma once

#include <stdexcept>
#include "jet/status.h"
#include "kxview/kxview_core_export.h"

namespace kx {

/// A database operation failed: a file that is no library, a missing table or field, a statement the
/// engine refuses, a file that cannot be written. Carries the engine's message and kind of failure.
class KXVIEW_CORE_EXPORT DbError : public std::runtime_error {
public:
    explicit DbError(const jet::Status& status);
    ~DbError() override;
    /// The engine's category of the failure.
    jet::Status::Code code() const { return m_code; }

private:
    jet::Status::Code m_code;
};

/// A control refused an operation: an index out of range, an invalid property value, a picture that
/// cannot be loaded, a tool that its band does not hold.
class KXVIEW_CORE_EXPORT ControlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~ControlError() override;
};

/// A folder could not be created or a file could not be written into place (it exists already, or the
/// system refused).
class KXVIEW_CORE_EXPORT FileSystemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~FileSystemError() override;
};

}  // namespace kx

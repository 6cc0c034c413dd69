// Failures of the component's own controls, beside the database adapter's DbError.
#pragma once

#include <stdexcept>
#include "kxview/kxview_export.h"

namespace kx {

/// A control refused an operation: an index out of range, an invalid property value, a picture that
/// cannot be loaded, a tool that its band does not hold.
class KXVIEW_EXPORT ControlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace kx

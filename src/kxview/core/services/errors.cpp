// The exceptions' destructors are defined here, once, so that every module shares one type identity.
#include "kxview/errors.h"

namespace kx {

DbError::DbError(const jet::Status& status) : std::runtime_error(status.toString()), m_code(status.code()) {}
DbError::~DbError() = default;
ControlError::~ControlError() = default;
FileSystemError::~FileSystemError() = default;

}  // namespace kx

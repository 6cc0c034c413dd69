#include "jet/status.h"

namespace jet {

std::string Status::toString() const {
    switch (m_code) {
        case Code::Ok:
            return "OK";
        case Code::Corruption:
            return "Corruption: " + m_message;
        case Code::NotSupported:
            return "Not supported: " + m_message;
        case Code::NotFound:
            return "Not found: " + m_message;
        case Code::IOError:
            return "I/O error: " + m_message;
        case Code::InvalidArgument:
            return "Invalid argument: " + m_message;
    }
    return m_message;
}

Status Status::withContext(const std::string& context) const {
    if (ok()) return *this;
    return Status(m_code, context + ": " + m_message);
}

}  // namespace jet

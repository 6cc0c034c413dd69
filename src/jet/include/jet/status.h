// Error values of the storage engine: every failure travels as a Status or a Result<T>, never as an
// exception.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace jet {

/// The outcome of an engine operation: OK, or a code with a message naming where the fault lies.
class Status {
public:
    enum class Code : uint8_t { Ok, Corruption, NotSupported, NotFound, IOError, InvalidArgument };

    Status() = default;

    /// A damaged file: an offset, length, page type or link that cannot be right.
    static Status Corruption(std::string msg) { return Status(Code::Corruption, std::move(msg)); }
    /// A valid file using a feature the engine does not handle.
    static Status NotSupported(std::string msg) { return Status(Code::NotSupported, std::move(msg)); }
    /// A table, column or index that does not exist.
    static Status NotFound(std::string msg) { return Status(Code::NotFound, std::move(msg)); }
    /// The operating system refused a read, write or open.
    static Status IOError(std::string msg) { return Status(Code::IOError, std::move(msg)); }
    /// The caller passed something the operation cannot accept.
    static Status InvalidArgument(std::string msg) { return Status(Code::InvalidArgument, std::move(msg)); }

    /// True when the operation succeeded.
    bool ok() const { return m_code == Code::Ok; }
    /// The failure's category.
    Code code() const { return m_code; }
    /// The bare message without the category prefix.
    const std::string& message() const { return m_message; }
    /// "Corruption: ..." and so on; "OK" on success.
    std::string toString() const;

    /// The same status with `context` put in front of the message ("table DM: ...").
    Status withContext(const std::string& context) const;

    bool isCorruption() const { return m_code == Code::Corruption; }
    bool isNotSupported() const { return m_code == Code::NotSupported; }
    bool isNotFound() const { return m_code == Code::NotFound; }
    bool isIOError() const { return m_code == Code::IOError; }
    bool isInvalidArgument() const { return m_code == Code::InvalidArgument; }

private:
    Status(Code code, std::string msg) : m_code(code), m_message(std::move(msg)) {}

    Code m_code = Code::Ok;
    std::string m_message;
};

/// A value or the Status that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::move(value)) {}         // NOLINT(google-explicit-constructor)
    Result(Status status) : m_data(std::move(status)) {}  // NOLINT(google-explicit-constructor)

    /// True when a value is held.
    bool ok() const { return std::holds_alternative<T>(m_data); }
    /// The error; an OK Status when a value is held.
    Status status() const { return ok() ? Status() : std::get<Status>(m_data); }

    /// The held value; only valid when ok().
    T& value() & { return std::get<T>(m_data); }
    const T& value() const& { return std::get<T>(m_data); }
    T&& value() && { return std::get<T>(std::move(m_data)); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, Status> m_data;
};

}  // namespace jet

/// Returns the Status of `expr` from the enclosing function when it is not OK.
#define JET_RETURN_IF_ERROR(expr)                  \
    do {                                           \
        ::jet::Status jet_status_ = (expr);        \
        if (!jet_status_.ok()) return jet_status_; \
    } while (0)

#define JET_CONCAT_INNER_(a, b) a##b
#define JET_CONCAT_(a, b) JET_CONCAT_INNER_(a, b)

/// Declares `lhs` from the value of the Result `rexpr`, or returns its Status.
#define JET_ASSIGN_OR_RETURN(lhs, rexpr) \
    JET_ASSIGN_OR_RETURN_IMPL_(JET_CONCAT_(jet_result_, __LINE__), lhs, rexpr)
#define JET_ASSIGN_OR_RETURN_IMPL_(tmp, lhs, rexpr) \
    auto tmp = (rexpr);                             \
    if (!tmp.ok()) return tmp.status();             \
    lhs = std::move(tmp).value()

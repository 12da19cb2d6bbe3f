#pragma once
// A value or an error: what every core operation returns instead of throwing.
// An error carries a kind, so callers choose their exit code or message from
// it, and the system's own words for what went wrong.
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace zd573 {

enum class ErrorCode : std::uint8_t {
  Failed,        // nothing more specific is known
  PortOpen,      // the port is missing or is not a serial port
  Permission,    // the port exists but this user may not open it
  Busy,          // another program holds the port
  Write,         // a write to the port failed
  Disconnected,  // the tracker went away while in use
  TimedOut,      // the tracker stopped answering
  BadValue,      // a value that cannot be stored or sent
  File,          // a file could not be read or written
  Thread,        // a worker could not be started
  Stopped,       // the user stopped it before it was done
};

struct Error {
  explicit Error(std::string text, ErrorCode kind = ErrorCode::Failed, std::string reason = {})
      : message(std::move(text)), code(kind), detail(std::move(reason)) {}
  Error() = default;

  std::string message;  // what the user is told first
  ErrorCode code = ErrorCode::Failed;
  std::string detail;   // the system's reason, e.g. "/dev/ttyACM0: Permission denied"
};

// "message: detail", or the message alone.
inline std::string Describe(const Error& e) { return e.detail.empty() ? e.message : e.message + ": " + e.detail; }

template <class T>
class Expected {
 public:
  Expected(T value) : v_(std::move(value)) {}  // NOLINT: implicit by design
  Expected(Error error) : v_(std::move(error)) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return std::get<0>(v_); }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const T& operator*() const& { return value(); }
  T& operator*() & { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }
  const Error& failure() const { return std::get<1>(v_); }
  const std::string& error() const { return failure().message; }
  ErrorCode code() const { return failure().code; }

 private:
  std::variant<T, Error> v_;
};

// An operation that yields nothing on success.
class Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT
  static Status Ok() { return {}; }
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& failure() const { return error_; }
  const std::string& error() const { return error_.message; }
  ErrorCode code() const { return error_.code; }
  const std::string& detail() const { return error_.detail; }

 private:
  Error error_;
  bool failed_ = false;
};

}  // namespace zd573

#pragma once
// A value or an error: what every core operation returns instead of throwing.
// An error carries a kind, so callers choose their exit code or message from
// it, and the system's own words for what went wrong.
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

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

// Which message an error is, so a window can say it in the user's language.
// The command line prints `message` and `detail` as they are.
enum class MessageKind : std::uint8_t {
  None,              // `message` and `detail` say it all
  // A value that cannot be stored or sent; `field` is its key.
  BadCharacter,      // args: the character the sentences cannot carry ("," "=" "\r" "\n" "\0" "*..!")
  NotEncodable,      // args: the character, its code point ("U+738B"), the code page
  TooLong,           // args: bytes in the device encoding, the most the field holds
  OutOfRange,        // args: the value, the lowest, the highest
  PortOutOfRange,    // args: the value (80 or 1024 to 65535 allowed)
  TooLarge,          // args: the value, the most
  NotANumber,        // args: what was typed
  NotUtf8,           // a text given as UTF-8 is not (a file saved in another encoding)
  // The port and the line; `field` is the port's path when one is known.
  OpenPortFailed,    // "Unable to open COM-port"; why is in detailKind or systemError
  NoPortName,
  NotSerialPort,
  PortInUse,         // another program holds the lock
  PortNotOpen,
  PortDisconnected,
  PortLeased,        // another operation has the held port
  WriteTimedOut,
  WriteFailedAfter,  // args: the page's name, sentences written, sentences in all
  Stopped,
  ThreadFailed,
  DownloadRequestFailed,
  ReadStopped,       // the full read gave up; args: settings read, of how many; code: Disconnected or TimedOut
  // A file; `field` is its path.
  FileUnreadable,
  FileUnwritable,
  // A settings file that cannot be taken; `field` is its path.
  ProfileTwice,       // args: the key (or "[DEVICE]"), its first line, its second line
  ProfileTwoImeis,    // args: the line where IMEI and B2 differ
  ProfileUnknownKey,  // args: the line, the key
  ProfileNoSection,
  ProfileBadSection,   // args: the line of a section name without its closing ]
  ProfileReadOnlyKey,  // args: the line, the key the tracker sets itself
  ProfileNotAFile,
  ProfileTooLarge,    // args: the most it may hold, in KiB
};

struct Error {
  explicit Error(std::string text, ErrorCode kind = ErrorCode::Failed, std::string reason = {})
      : message(std::move(text)), code(kind), detail(std::move(reason)) {}
  Error() = default;

  // The same error, named for a window: which message, the field or path it
  // names and the values it quotes.
  Error Names(MessageKind what, std::string key = {}, std::vector<std::string> values = {}) && {
    kind = what;
    field = std::move(key);
    args = std::move(values);
    return std::move(*this);
  }

  std::string message;  // what the user is told first
  ErrorCode code = ErrorCode::Failed;
  std::string detail;   // the system's reason, e.g. "/dev/ttyACM0: Permission denied"

  MessageKind kind = MessageKind::None;
  std::string field;                           // a field's key, or a path
  std::vector<std::string> args;               // the values `message` quotes, in order
  MessageKind detailKind = MessageKind::None;  // which message `detail` is, when it is the program's own
  int systemError = 0;                         // the errno behind `detail`, when the system gave one
};

// `outer` told with `cause` as its reason: the cause's message becomes the
// detail, and what names it for a window goes with it.
inline Error Because(Error outer, const Error& cause) {
  outer.detail = cause.message;
  outer.detailKind = cause.kind;
  outer.field = cause.field;
  outer.args = cause.args;
  outer.systemError = cause.systemError;
  return outer;
}

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

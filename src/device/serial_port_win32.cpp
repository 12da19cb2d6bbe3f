// The serial port with the Win32 communications functions.
#include <windows.h>

#include <chrono>

#include "common/win32_text.h"
#include "device/device_port.h"
#include "device/timing.h"

namespace zd573 {
namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

ErrorCode OpenErrorCode(DWORD error) {
  switch (error) {
    // A COM port another program holds answers "access denied": Windows
    // opens serial ports for one program at a time.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return ErrorCode::Busy;
    default: return ErrorCode::PortOpen;
  }
}

bool IsDisconnection(DWORD error) {
  switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_FILE_NOT_FOUND: return true;
    default: return false;
  }
}

void ConfigureLine(HANDLE h) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // A failed line setup is not fatal, as on the device's own host.
  if (::GetCommState(h, &dcb)) {
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // DTR and RTS inactive.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    ::SetCommState(h, &dcb);
  }
  // Return at once with what is there, else wait at most 100 ms for a first
  // byte; a write waits one stop-check at a time, up to the write time-out.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(timing::kReadFirstByte.count());
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(timing::kStopCheck.count());
  ::SetCommTimeouts(h, &timeouts);
}

}  // namespace

std::string DevRoot() { return "\\\\.\\"; }

std::string PortPath(const std::string& portName) {
  // COM10 and above open only through the device namespace; it serves COM1 as well.
  if (portName.find_first_of("\\/") != std::string::npos) return portName;
  return DevRoot() + portName;
}

SerialPort::~SerialPort() { Close(); }

Status SerialPort::Open(const std::string& portName) {
  Close();
  if (portName.empty()) return Error{"No port name", ErrorCode::PortOpen, {}}.Names(MessageKind::NoPortName);
  const std::string path = PortPath(portName);
  // No sharing: the port is ours alone until Close.
  const HANDLE h = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // The system's own words are in the user's language already; only "in use" is ours.
    const ErrorCode code = OpenErrorCode(error);
    if (code == ErrorCode::Busy)
      return Error{portName + ": in use by another program", code, {}}.Names(MessageKind::PortInUse, portName);
    return Error{portName + ": " + win32::ErrorMessage(error), code, {}}.Names(MessageKind::None, portName);
  }
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (::GetFileType(h) != FILE_TYPE_CHAR || !::GetCommState(h, &probe)) {
    ::CloseHandle(h);
    return Error{portName + ": not a serial port", ErrorCode::PortOpen, {}}.Names(MessageKind::NotSerialPort, portName);
  }
  ConfigureLine(h);
  ::PurgeComm(h, PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR | PURGE_TXCLEAR);
  DWORD errors = 0;
  ::ClearCommError(h, &errors, nullptr);
  fd_.store(reinterpret_cast<std::intptr_t>(h));
  return {};
}

int SerialPort::Read(std::uint8_t* buffer, std::size_t max) {
  const std::intptr_t h = fd_.load();
  if (h == -1) return -1;
  if (max == 0) return 0;
  DWORD n = 0;
  if (::ReadFile(AsHandle(h), buffer, static_cast<DWORD>(max), &n, nullptr)) return static_cast<int>(n);
  const DWORD error = ::GetLastError();
  if (IsDisconnection(error)) return -1;  // unplugged: the handle never comes back
  // A line error (framing, overrun) stops reads until cleared; the bytes are lost, the link is not.
  DWORD errors = 0;
  return ::ClearCommError(AsHandle(h), &errors, nullptr) ? 0 : -1;
}

Status SerialPort::WriteBytes(std::string_view bytes, const std::stop_token& stop) {
  const std::intptr_t h = fd_.load();
  if (h == -1) return Error{"The port is not open", ErrorCode::Disconnected, {}}.Names(MessageKind::PortNotOpen);
  const auto deadline = std::chrono::steady_clock::now() + timing::kWriteTimeout;
  while (!bytes.empty()) {
    DWORD n = 0;
    if (!::WriteFile(AsHandle(h), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr)) {
      const DWORD error = ::GetLastError();
      return Error{win32::ErrorMessage(error), IsDisconnection(error) ? ErrorCode::Disconnected : ErrorCode::Write, {}};
    }
    bytes.remove_prefix(n);
    if (bytes.empty()) break;
    if (stop.stop_requested()) return WriteStopped();
    if (std::chrono::steady_clock::now() >= deadline)
      return Error{"Write timed out", ErrorCode::Write, {}}.Names(MessageKind::WriteTimedOut);
  }
  return {};
}

void SerialPort::Purge() {
  const std::intptr_t h = fd_.load();
  if (h != -1) ::PurgeComm(AsHandle(h), PURGE_RXCLEAR | PURGE_TXCLEAR);
}

void SerialPort::Close() {
  const std::intptr_t h = fd_.exchange(-1);
  if (h != -1) ::CloseHandle(AsHandle(h));
}

std::string_view PortAdvice(ErrorCode code) {
  switch (code) {
    case ErrorCode::Permission: return "Windows refused access to the port.";
    case ErrorCode::Busy:
      return "Another program is using the port: close it (a second copy of this utility or a terminal program) "
             "and try again.";
    case ErrorCode::PortOpen:
    case ErrorCode::Disconnected:
      return "Check that the tracker is plugged in and switched on; zd573 ports lists the COM ports.";
    default: return {};
  }
}

}  // namespace zd573

#pragma once
// Finding the tracker's serial port by its friendly name. The list of ports
// comes from sysfs (port_list_posix.cpp) or SetupAPI (port_list_win32.cpp).
#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "device/timing.h"

namespace zd573 {

struct SerialPortInfo {
  std::string name;          // e.g. "ttyACM0" or "COM7": what the port is opened by
  std::string friendlyName;  // "<USB product or interface string> (<name>)"; Windows' own friendly name there
  std::string path;          // the device node
  bool matches = false;      // the tracker's port by name
};

// sysfs root (ZD573_SYSFS_ROOT, default /sys); tests build a fake tree there.
// Empty on Windows, which has no sysfs.
std::string SysfsRoot();

// Linux: serial devices that hang off a USB device, sorted by tty name.
// Windows: the present devices of the Ports class (SetupAPI) with a COM name
// (the device's PortName); the tracker's has "STM" in its description or
// friendly name. Sorted by name.
std::vector<SerialPortInfo> ListSerialPorts();

// Whether a friendly name marks the tracker, and the port name it carries:
// "STM" anywhere (case-sensitive) and a name of at most 9 characters between
// the last "(" and the ")" after it.
bool MatchTrackerName(const std::string& friendlyName, std::string* portName);

struct FindOptions {
  std::chrono::milliseconds matchPause = timing::kPortMatchPause;
  std::stop_token stop;  // a stop ends the search at once, as one that found nothing
};

// Searches the serial devices; on a match stores the port name (the last match
// wins) and returns true. A failed search leaves portName as it was.
bool FindDevicePort(std::string& portName, const FindOptions& options = {});

}  // namespace zd573

#include "device/port_finder.h"

#include "device/device_job.h"

namespace zd573 {

bool MatchTrackerName(const std::string& friendlyName, std::string* portName) {
  if (friendlyName.find("STM") == std::string::npos) return false;
  // The port name closes the friendly name; a product string may hold parentheses of its own.
  auto open = friendlyName.rfind('(');
  if (open == std::string::npos) return false;
  auto close = friendlyName.find(')', open + 1);
  if (close == std::string::npos) return false;
  std::string name = friendlyName.substr(open + 1, close - open - 1);
  if (name.empty() || name.size() > 9) return false;
  if (portName) *portName = name;
  return true;
}

bool FindDevicePort(std::string& portName, const FindOptions& options) {
  bool found = false;
  for (const SerialPortInfo& port : ListSerialPorts()) {
    if (!port.matches) continue;
    // The driver needs a moment after enumeration before the port opens reliably.
    if (!PauseUnlessStopped(options.matchPause, options.stop)) return false;
    portName = port.name;
    found = true;
  }
  return found;
}

}  // namespace zd573

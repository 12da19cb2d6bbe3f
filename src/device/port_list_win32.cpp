// The serial ports on Windows: the present devices of the Ports class, by
// SetupAPI, each with its COM name from the device's PortName value.
#include <windows.h>
// windows.h first: SetupAPI's headers build on it.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>

#include "common/win32_text.h"
#include "device/device_port.h"
#include "device/port_finder.h"

namespace zd573 {
namespace {

std::string DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[512] = {};
  DWORD type = 0;
  if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr) ||
      type != REG_SZ)
    return {};
  return win32::Utf8(buffer);
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t buffer[64] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  const LONG read = ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  ::RegCloseKey(key);
  return read == ERROR_SUCCESS && type == REG_SZ ? win32::Utf8(buffer) : std::string();
}

}  // namespace

std::string SysfsRoot() { return {}; }

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  const HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    const std::string name = PortNameOf(set, device);
    // The Ports class holds printer ports too; only COM ports are serial.
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name.size() > 9) continue;
    const std::string description = DeviceText(set, device, SPDRP_DEVICEDESC);
    const std::string friendly = DeviceText(set, device, SPDRP_FRIENDLYNAME);
    SerialPortInfo info;
    info.name = name;
    info.friendlyName = friendly.empty() ? description + " (" + name + ")" : friendly;
    info.path = PortPath(name);
    info.matches = description.find("STM") != std::string::npos || friendly.find("STM") != std::string::npos;
    ports.push_back(std::move(info));
  }
  ::SetupDiDestroyDeviceInfoList(set);
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return ports;
}

}  // namespace zd573

#pragma once
// The tracker's stored values: all 85 keys as texts, with an ini file behind them.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zd573::sim {

class DeviceState {
 public:
  DeviceState();  // factory defaults

  // "" for a key the tracker does not know.
  std::string Get(std::string_view key) const;
  // False (and nothing stored) for a key the tracker does not know.
  bool Set(std::string_view key, std::string value);
  // Every key with its value, IMEI and password first, then table order.
  const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

  // Reads [DEVICE] KEY=value lines over the defaults. On error nothing changes.
  bool Load(const std::string& path, std::string* error);
  // Writes the whole state through a temporary file, so a failed write never
  // replaces a good file.
  bool Save(const std::string& path, std::string* error) const;

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

}  // namespace zd573::sim

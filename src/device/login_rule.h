#pragma once
// Who may work with a tracker: one rule for the window's login and every
// command of the command line that talks to the tracker.
#include <string_view>

namespace zd573 {

// Opens a tracker that has no password of its own.
inline constexpr std::string_view kDefaultPassword = "4071";

// Whether `typed` opens a tracker whose password is `device` (both in the
// same encoding): the password itself, or, while it is empty, the default
// or nothing at all.
inline bool PasswordOpens(std::string_view typed, std::string_view device) {
  return typed == device || (device.empty() && typed == kDefaultPassword);
}

}  // namespace zd573

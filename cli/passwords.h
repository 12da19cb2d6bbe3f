#pragma once
// Where the command line takes a password from. An argument is visible to
// every local user (the process list), so a script gives it in a file only
// its owner may read or in the environment, and a person types it unseen.
#include <string>
#include <vector>

#include "device_session.h"

namespace zd573::cli {

// The variable a script may give the tracker's password in.
inline constexpr const char kPasswordVariable[] = "ZD573_PASSWORD";

// The tracker's password when --password was not given: from
// --password-file, else from ZD573_PASSWORD; else it stays to be asked on
// the terminal, once. The exit code (a file others may read is refused).
int ChoosePassword(Options& o);

// The new password of `password`: NEW when given (visible to local users),
// else from --new-password-file, else typed twice on the terminal. The
// exit code.
int ChooseNewPassword(const Options& o, const std::vector<std::string>& words, std::string& password);

}  // namespace zd573::cli

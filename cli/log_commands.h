#pragma once
#include <string>
#include <vector>

#include "device_session.h"

namespace zd573::cli {

// "log download", "log convert", "log erase".
int RunLogCommand(Options& o, const std::vector<std::string>& words, const std::string& format, bool dropNoFix);

}  // namespace zd573::cli

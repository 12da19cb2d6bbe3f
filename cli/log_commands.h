#pragma once
#include <string>
#include <vector>

#include "device_session.h"

namespace zd573::cli {

struct LogArgs {
  std::string format;    // --format; empty: from the export file's extension
  bool dropNoFix = false;
  std::string rawCopy;   // --raw: where a download also keeps the raw log
  bool keepPartial = false;  // --keep-partial: a download that stops short still exports what arrived
};

// "log download", "log convert", "log erase".
int RunLogCommand(Options& o, const std::vector<std::string>& words, const LogArgs& args);

}  // namespace zd573::cli

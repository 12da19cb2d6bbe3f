#pragma once
// "log stats" and "log archive": a track's figures, and exports from the
// archive every download is kept in.
#include <string>
#include <vector>

#include "device_session.h"
#include "log_commands.h"

namespace zd573::cli {

// log stats FILE
int RunLogStats(const Options& o, const std::vector<std::string>& words, const LogArgs& args);
// log archive [IMEI] OUT
int RunLogArchive(const Options& o, const std::vector<std::string>& words, const LogArgs& args);

}  // namespace zd573::cli

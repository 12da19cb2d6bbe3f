#pragma once
// The commands that write settings or keep them in a file: set, password,
// backup, restore, undo, diff, apply and provision.
#include <string>
#include <vector>

#include "device_session.h"

namespace zd573::cli {

// diff found differences; a write the tracker did not take as sent (or, for
// provision, a tracker that was not set up).
enum ProfileExitCode { kDifferences = 10, kNotVerified = 11 };

struct ProfileArgs {
  bool profile = false;             // backup --profile: without the per-unit keys
  std::vector<std::string> keys;    // backup --keys
  std::vector<std::string> without; // backup --without
  bool anyTracker = false;          // --any-tracker: a file saved from another tracker may be written
  bool withPassword = false;        // --with-password: the file's password is sent too
  bool showSecrets = false;         // diff --show-secrets: the passwords and the SIM PIN are shown
  std::string report;               // provision --report
  long count = 0;                   // provision --count (0: until Ctrl+C)
};

int CmdSet(Options& o, const std::vector<std::string>& words);
int CmdPassword(Options& o, const std::vector<std::string>& words);
int CmdBackup(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdRestore(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdApply(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
// Applies the newest backup of the tracker plugged in, made before the last write to it.
int CmdUndo(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdDiff(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdProvision(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);

}  // namespace zd573::cli

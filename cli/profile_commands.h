#pragma once
// The commands that write settings or keep them in a file: set, password,
// backup (of one tracker, or of each plugged in), restore, undo, diff, apply,
// provision, and roster (each tracker's own values from a folder of backups).
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
  std::string report;               // provision, backup --each: --report
  long count = 0;                   // provision, backup --each: --count (0: until Ctrl+C, or every roster row)
  std::string roster;               // provision, apply, diff --roster: each tracker's own values
  std::string each;                 // backup --each FOLDER: a backup of each tracker plugged in
};

int CmdSet(Options& o, const std::vector<std::string>& words);
int CmdPassword(Options& o, const std::vector<std::string>& words);
int CmdBackup(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
// backup --each FOLDER: a backup of each tracker plugged in, FOLDER/IMEI.ini, one report row each.
int CmdBackupEach(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdRestore(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdApply(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
// Applies the newest backup of the tracker plugged in, made before the last write to it.
int CmdUndo(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdDiff(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
int CmdProvision(Options& o, const std::vector<std::string>& words, const ProfileArgs& args);
// A roster from a folder of backups (backup --each): to stdout without the SIM PIN, or to a file.
int CmdRoster(Options& o, const std::vector<std::string>& words);

}  // namespace zd573::cli

// A file that cannot be read or written is named once in the message, with
// the reason: "Cannot write X: <reason>", never "Cannot write X: X: ...".
#include <gtest/gtest.h>

#include <fstream>

#include "cli_fixture.h"
#include "logger/log_record.h"

namespace zd573 {
namespace {

struct Failed {
  const char* name;
  std::vector<std::string> args;  // "DIR/" stands for the test's folder
  std::string named;              // the path the message names, under DIR/
  std::string reason;
  bool tracker = false;
  std::string dataHome;  // XDG_DATA_HOME under DIR/, when the backups' folder matters
};

class PathNamedOnce : public Cli, public ::testing::WithParamInterface<Failed> {};

TEST_P(PathNamedOnce, InTheMessageOfAFailedWrite) {
  const Failed& f = GetParam();
  if (f.tracker) StartSim();
  std::ofstream(dir_ / "afile") << "a file where a folder is meant\n";
  logger::LogRecord record;
  record.gpsTime = 767836800;
  record.status = 0x88;
  const auto bytes = logger::RawLog::FromRecords({record}).bytes();
  std::ofstream(dir_ / "raw.log", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto under = [&](const std::string& s) { return s.rfind("DIR/", 0) == 0 ? (dir_ / s.substr(4)).string() : s; };
  std::vector<std::string> args;
  for (const std::string& a : f.args) args.push_back(under(a));
  std::vector<std::string> env;
  if (!f.dataHome.empty()) env.push_back("XDG_DATA_HOME=" + under(f.dataHome));
  RunResult r = Zd573(args, true, env);
  EXPECT_EQ(r.rc, 5) << r.err;
  const std::string named = under(f.named);
  std::size_t times = 0;
  for (std::size_t at = r.err.find(named); at != std::string::npos; at = r.err.find(named, at + 1)) ++times;
  EXPECT_EQ(times, 1u) << r.err;
  EXPECT_NE(r.err.find(f.reason), std::string::npos) << r.err;
  if (f.tracker) {
    EXPECT_TRUE(Received(*sim_, "KVS,").empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathNamedOnce,
    ::testing::Values(
        Failed{"backup", {"backup", "DIR/missing/b.ini", "--password", "4071"}, "DIR/missing/b.ini",
               "No such file or directory", false, ""},
        Failed{"export", {"log", "convert", "DIR/raw.log", "DIR/missing/t.gpx"}, "DIR/missing/t.gpx",
               "No such file or directory", false, ""},
        Failed{"backup_before_a_write",
               {"set", "D1=apn.x", "--password", "4071"},
               "DIR/afile",
               "Not a directory; nothing was sent",
               true,
               "DIR/afile"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zd573

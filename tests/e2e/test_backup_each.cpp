// A backup of each tracker plugged in (backup --each), its older files kept,
// and a roster made from the folder that sets a tracker back as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli_fixture.h"
#include "plugged_trackers.h"

namespace zd573 {
namespace {

class BackupEach : public Cli {};

unsigned ModeOf(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 0777u) : 0u;
}

TEST_F(BackupEach, SavesEachTrackerAndItsRosterSetsItBack) {
  const fs::path folder = dir_ / "fleet", report = dir_ / "saved.csv";
  const std::string ann = "356000000000001", bo = "356000000000002";
  // Ann's five older backups: the newest four move down one, the oldest goes.
  fs::create_directories(folder);
  std::ofstream(folder / (ann + ".ini")) << "old 0\n";
  for (int n = 1; n <= 5; ++n) std::ofstream(folder / (ann + ".ini." + std::to_string(n))) << "old " << n << "\n";
  std::ofstream(dir_ / "system.ini") << "[USERNAME]\n" << ann << "=Grandma Ann\n";

  test::PluggedTrackers plugged(dir_ / "tree");
  test::Spawned cli(ZD573_CLI, {"backup", "--each", folder.string(), "--report", report.string(), "--count", "2",
                                "--password", "4071"},
                    Env(true, plugged.Env()));
  plugged.Plug(ann, {{"Va", "Son"}, {"VA", "+15550000001"}, {"B0", "1111"}});
  ASSERT_TRUE(test::WaitFor([&] { return test::LinesOf(report).size() == 2; }));
  plugged.Unplug();
  plugged.Plug(bo, {{"Va", "Daughter \"Eve\""}, {"VA", "+15550000002"}, {"B0", "2222"}});
  RunResult r = cli.Wait();
  ASSERT_EQ(r.rc, 0) << r.err;
  plugged.Unplug();

  const auto rows = test::LinesOf(report);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].substr(20), "," + ann + ",Grandma Ann,0,ok,Saved in " + (folder / (ann + ".ini")).string() +
                                    "; the one before is kept as " + (folder / (ann + ".ini.1")).string() + ",");
  EXPECT_EQ(rows[2].substr(20), "," + bo + ",,0,ok,Saved in " + (folder / (bo + ".ini")).string() + ",");
  for (int n = 1; n <= 5; ++n) {
    const fs::path kept = folder / (ann + ".ini." + std::to_string(n));
    EXPECT_EQ(test::Slurp(kept.string()), "old " + std::to_string(n - 1) + "\n");
  }
  EXPECT_FALSE(fs::exists(folder / (bo + ".ini.1")));
  for (const std::string& imei : {ann, bo}) {
    const fs::path saved = folder / (imei + ".ini");
    EXPECT_EQ(ModeOf(saved), 0600u) << "it holds the password and the SIM PIN";
    EXPECT_NE(test::Slurp(saved.string()).find("IMEI=" + imei + "\n"), std::string::npos);
  }

  // On stdout the roster leaves the SIM PIN out; in a file it keeps it, privately.
  RunResult out = RunProgram(ZD573_CLI, {"roster", folder.string()}, Env());
  ASSERT_EQ(out.rc, 0) << out.err;
  EXPECT_TRUE(out.out.starts_with("IMEI,name,Va,VA,")) << out.out;
  EXPECT_NE(out.out.find("\n" + ann + ",Grandma Ann,Son,+15550000001,"), std::string::npos) << out.out;
  EXPECT_EQ(out.out.find("B0"), std::string::npos) << out.out;
  EXPECT_EQ(out.out.find("1111"), std::string::npos) << out.out;
  const fs::path roster = dir_ / "fleet.csv";
  out = RunProgram(ZD573_CLI, {"roster", folder.string(), roster.string()}, Env());
  ASSERT_EQ(out.rc, 0) << out.err;
  EXPECT_EQ(ModeOf(roster), 0600u);
  const auto lines = test::LinesOf(roster);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].ends_with(",B1,B0")) << lines[0];
  EXPECT_TRUE(lines[2].starts_with(bo + ",,\"Daughter \"\"Eve\"\"\",+15550000002,")) << lines[2];
  EXPECT_TRUE(lines[2].ends_with(",2222")) << lines[2];

  // Bo's tracker changed since: an empty profile with the roster puts its own values back.
  std::ofstream(dir_ / "empty.ini") << "";
  StartSim();
  sim_->SetValue("B2", bo);
  sim_->SetValue("Va", "Someone else");
  sim_->SetValue("B0", "9999");
  r = Zd573({"apply", (dir_ / "empty.ini").string(), "--roster", roster.string(), "--password", "4071"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(sim_->Value("Va"), "Daughter \"Eve\"");
  EXPECT_EQ(sim_->Value("VA"), "+15550000002");
  EXPECT_EQ(sim_->Value("B0"), "2222");
}

}  // namespace
}  // namespace zd573

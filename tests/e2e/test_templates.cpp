// {name} and {imei} in a profile's texts, filled per tracker and checked with
// the page's rules: a name too long for the field refuses that tracker alone.
#include <gtest/gtest.h>

#include "cli_fixture.h"
#include "plugged_trackers.h"

namespace zd573 {
namespace {

class Templates : public Cli {};

TEST_F(Templates, ANameTooLongRefusesItsTrackerAlone) {
  const fs::path report = dir_ / "report.csv";
  std::ofstream(dir_ / "care.ini") << "[DEVICE]\nVa=Care of {name}\nD2={imei}\n";
  std::ofstream(dir_ / "fleet.csv") << "IMEI,name\n356000000000001,Ann\n356000000000002,Bartholomew Montgomery\n";
  test::PluggedTrackers plugged(dir_ / "tree");
  test::Spawned cli(ZD573_CLI, {"provision", (dir_ / "care.ini").string(), "--roster", (dir_ / "fleet.csv").string(),
                                "--report", report.string(), "--count", "1", "--password", "4071"},
                    Env(true, plugged.Env()));
  sim::Simulator& bart = plugged.Plug("356000000000002");
  ASSERT_TRUE(test::WaitFor([&] { return test::LinesOf(report).size() == 2; }));
  plugged.Unplug();
  sim::Simulator& ann = plugged.Plug("356000000000001");
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 11) << r.err;

  EXPECT_TRUE(test::SentencesOf(bart, "KVS,").empty());
  EXPECT_EQ(ann.Value("Va"), "Care of Ann");
  EXPECT_EQ(ann.Value("D2"), "356000000000001");
  const auto rows = test::LinesOf(report);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].substr(20),
            ",356000000000002,Bartholomew Montgomery,0,failed,\"" + (dir_ / "care.ini").string() +
                " line 2: name of contact 1 (Va) is too long: 30 bytes in the device encoding, at most 23, with "
                "{name} = \"\"Bartholomew Montgomery\"\"; nothing was sent\",3");
  EXPECT_NE(rows[2].find(",356000000000001,Ann,2,ok,"), std::string::npos) << rows[2];
}

}  // namespace
}  // namespace zd573

// Provisioning with a roster: each tracker plugged in gets the shared profile
// plus its own row, one not in the roster nothing; a roster with a fault
// refuses the run before any tracker is touched.
#include <gtest/gtest.h>

#include <map>

#include "cli_fixture.h"
#include "device/device_settings.h"
#include "device/transactions.h"
#include "plugged_trackers.h"

namespace zd573 {
namespace {

class Rosters : public Cli {
 protected:
  fs::path File(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
    return dir_ / name;
  }
};

// The set sentences a tracker holding `before` gets for `pages` once `row` is stored.
std::vector<std::string> Expected(const std::map<std::string, std::string>& before,
                                  const std::map<std::string, std::string>& row, std::initializer_list<Page> pages) {
  DeviceValues v;
  for (const auto& [key, value] : before) v.StoreReply(key, value);
  for (const auto& [key, value] : row) v.StoreReply(key, value);
  std::vector<std::string> out;
  for (Page page : pages) {
    auto sentences = BuildPageTransaction(page, v);
    EXPECT_TRUE(sentences);
    if (sentences) out.insert(out.end(), sentences->begin(), sentences->end());
  }
  return out;
}

std::map<std::string, std::string> ValuesOf(const sim::Simulator& tracker) {
  std::map<std::string, std::string> values;
  for (const KeyInfo& k : AllKeys()) values[std::string(k.key)] = tracker.Value(k.key);
  return values;
}

// Three trackers plugged in turn, two of them in the roster: each of those
// gets exactly the profile and its own row (an empty cell leaves its value
// alone), the third nothing; the run ends when every row is done.
TEST_F(Rosters, EachTrackerGetsItsOwnRow) {
  test::PluggedTrackers plugged(dir_ / "tree");
  const fs::path report = dir_ / "report.csv";
  const fs::path profile = File("care.ini", "[DEVICE]\nD1=apn.care\n");
  const fs::path roster = File("fleet.csv",
                               "IMEI,name,Va,VA,B0\r\n"
                               "356000000000001,Ann,Ann's son,+15550000001,1111\r\n"
                               "\r\n"
                               "356000000000003, Cy ,\"Cy \"\"Jr\"\"\",+15550000003,\r\n");
  test::Spawned cli(ZD573_CLI, {"provision", profile.string(), "--roster", roster.string(), "--report",
                                report.string(), "--password", "4071"},
                    Env(true, plugged.Env()));
  const auto rows = [&] { return test::LinesOf(report).size(); };
  sim::Simulator& first = plugged.Plug("356000000000001");
  const auto firstBefore = ValuesOf(first);
  ASSERT_TRUE(test::WaitFor([&] { return rows() == 2; }));
  plugged.Unplug();
  sim::Simulator& stranger = plugged.Plug("356000000000002");
  ASSERT_TRUE(test::WaitFor([&] { return rows() == 3; }));
  plugged.Unplug();
  sim::Simulator& third = plugged.Plug("356000000000003");
  const auto thirdBefore = ValuesOf(third);
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 11) << "a tracker was not set up: " << r.err;

  EXPECT_EQ(test::SentencesOf(first, "KVS,"),
            Expected(firstBefore, {{"Va", "Ann's son"}, {"VA", "+15550000001"}, {"B0", "1111"}, {"D1", "apn.care"}},
                     {Page::Info, Page::Contacts, Page::Gprs}));
  EXPECT_TRUE(test::SentencesOf(stranger, "KVS,").empty());
  EXPECT_EQ(test::SentencesOf(third, "KVS,"),
            Expected(thirdBefore, {{"Va", "Cy \"Jr\""}, {"VA", "+15550000003"}, {"D1", "apn.care"}},
                     {Page::Contacts, Page::Gprs}));

  const auto lines = test::LinesOf(report);
  ASSERT_EQ(lines.size(), 4u) << r.err;
  EXPECT_EQ(lines[0], "time_utc,imei,name,pages_written,result,reason,roster_row");
  EXPECT_NE(lines[1].find(",356000000000001,Ann,3,ok,"), std::string::npos) << lines[1];
  EXPECT_TRUE(lines[1].ends_with(",2")) << lines[1];
  EXPECT_EQ(lines[2].substr(20), ",356000000000002,,0,skipped,not in the roster,");
  EXPECT_NE(lines[3].find(",356000000000003,Cy,2,ok,"), std::string::npos) << lines[3];
  EXPECT_TRUE(lines[3].ends_with(",4")) << "rows are counted as a spreadsheet counts them: " << lines[3];
  EXPECT_EQ(test::Slurp(report.string()).find("1111"), std::string::npos) << "no SIM PIN in the report";
  EXPECT_NE(r.err.find("2 trackers set up, 0 failed, 1 not in the roster"), std::string::npos) << r.err;
  // The roster's names are kept for their trackers.
  const std::string ini = test::Slurp((dir_ / "system.ini").string());
  EXPECT_NE(ini.find("356000000000001=Ann"), std::string::npos) << ini;
  EXPECT_NE(ini.find("356000000000003=Cy"), std::string::npos) << ini;
}

// Each fault of a roster refuses the run, naming file, row and column, before
// a tracker is asked anything.
TEST_F(Rosters, AFaultyRosterTouchesNoTracker) {
  struct Row {
    const char* name;
    const char* roster;
    const char* says;
  };
  const Row rows[] = {
      {"IMEI not first", "Va,IMEI\nx,356000000000001\n", "r.csv: the first column must be IMEI, not \"Va\""},
      {"unknown column", "IMEI,phone\n356000000000001,x\n", "r.csv: the column \"phone\" is neither"},
      {"a shared key", "IMEI,D1\n356000000000001,apn\n",
       "r.csv: the column D1 (GPRS APN) is not one of a tracker's own"},
      {"the password", "IMEI,OU\n356000000000001,1234\n", "r.csv: the column OU (password) is not one of"},
      {"a column twice", "IMEI,VA,VA\n356000000000001,1,2\n",
       "r.csv: the column VA (phone number of contact 1) appears twice"},
      {"a key of the profile", "IMEI,G0\n356000000000001,+1555\n",
       "r.csv: the column G0 (emergency number 1) is also a value of"},
      {"an IMEI twice", "IMEI,Va\n356000000000001,a\n356000000000002,b\n356000000000001,c\n",
       "r.csv rows 2 and 4 are for the same tracker, IMEI 356000000000001"},
      {"no IMEI", "IMEI,Va\n,Ann\n", "r.csv row 2 has values but no IMEI"},
      {"a short IMEI", "IMEI,Va\n35600000000001,Ann\n", "r.csv row 2: the IMEI \"35600000000001\" is not 15 digits"},
      {"too many cells", "IMEI,Va\n356000000000001,Ann,x\n", "r.csv row 2 has more cells than the header"},
      {"a quote never closed", "IMEI,Va\n356000000000001,\"Ann\n", "r.csv row 2, cell 2: a quote out of place"},
      {"a name with a tab", "IMEI,name\n356000000000001,\"A\tB\"\n",
       "r.csv row 2, column name: the name holds a control"},
      {"too long for its page", "IMEI,Va\n356000000000001,Ann\n356000000000002,Bartholomew Montgomery III\n",
       "r.csv row 3, column Va: name of contact 1 (Va) is too long: 26 bytes"},
      {"a comma in a value", "IMEI,VA\n356000000000001,\"+1,555\"\n",
       "r.csv row 2, column VA: The phone number of contact 1 (VA) contains a comma"},
      {"no tracker", "IMEI,Va\n", "r.csv holds no tracker"},
  };
  StartSim();
  const fs::path profile = File("p.ini", "[DEVICE]\nG0=+15550100\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path report = dir_ / "report.csv";
    RunResult r = Zd573({"provision", profile.string(), "--roster", File("r.csv", row.roster).string(), "--report",
                         report.string(), "--password", "4071"});
    EXPECT_EQ(r.rc, 5) << r.err;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(report));
  }
  EXPECT_TRUE(sim_->Journal().empty()) << "the tracker was asked something";
}

}  // namespace
}  // namespace zd573

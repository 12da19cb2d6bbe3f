// The backup each write leaves in the data folder, and undo, against the simulated tracker.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>

#include "cli_fixture.h"
#include "device/device_settings.h"
#include "device/page_table.h"

namespace zd573 {
namespace {

class Undo : public Cli {
 protected:
  fs::path Folder() const { return dir_ / "data" / "zd573" / "backups" / sim_->Value("B2"); }
  std::vector<fs::path> Backups() const {
    std::set<fs::path> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Folder(), ec)) found.insert(e.path());
    return {found.begin(), found.end()};
  }
  std::size_t Sets() const { return Received(*sim_, "KVS,").size(); }
};

// KEY=value of a settings file, the section line aside.
std::map<std::string, std::string> Lines(const fs::path& file) {
  std::map<std::string, std::string> values;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  return values;
}

std::set<std::string> KeysOf(Page page, std::set<std::string> more = {"IMEI", "B2"}) {
  for (const KeyInfo& k : TableKeys())
    if (PageOfKey(k.key) == page) more.insert(std::string(k.key));
  return more;
}

struct Write {
  const char* name;
  std::vector<std::string> args;  // FILE stands for a file holding `file`
  std::string file;               // "BACKUP": the tracker's own backup with D1 changed
  std::set<std::string> saved;  // the keys of the backup
  std::string key;              // a value it changes...
  std::string before;           // ...from this
  std::vector<std::string> undo;
};

// Each write first saves what it replaces, private to the user; undo puts it back.
TEST_F(Undo, EveryWriteLeavesABackupThatUndoPutsBack) {
  const Write rows[] = {
      {"set", {"set", "D1=changed"}, "", KeysOf(Page::Gprs), "D1", "internet", {}},
      {"apply", {"apply", "FILE"}, "[DEVICE]\nF5=0\nD1=internet\n", KeysOf(Page::Info), "F5", "1", {}},
      {"restore", {"restore", "FILE"}, "BACKUP", KeysOf(Page::Gprs), "D1", "internet", {}},
      {"password", {"password", "1234"}, "", {"IMEI", "B2", "OU"}, "OU", "4071", {"--password", "1234", "--with-password"}},
  };
  for (const Write& row : rows) {
    SCOPED_TRACE(row.name);
    StartSim();
    sim_->SetValue("F5", "1");
    std::vector<std::string> args = row.args;
    if (row.file == "BACKUP") {
      // The tracker's own backup with one value changed.
      ASSERT_EQ(Zd573({"backup", (dir_ / "all.ini").string(), "--password", "4071"}).rc, 0);
      std::string text = test::Slurp((dir_ / "all.ini").string());
      text.replace(text.find("D1=internet"), 11, "D1=other");
      std::ofstream(dir_ / "file.ini") << text;
    } else {
      std::ofstream(dir_ / "file.ini") << row.file;
    }
    for (auto& a : args)
      if (a == "FILE") a = (dir_ / "file.ini").string();
    args.insert(args.end(), {"--password", "4071"});

    RunResult w = Zd573(args);
    ASSERT_EQ(w.rc, 0) << w.err;
    ASSERT_NE(sim_->Value(row.key), row.before);
    std::vector<fs::path> backups = Backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_NE(w.err.find(backups[0].string()), std::string::npos) << w.err;
    struct stat st{};
    ASSERT_EQ(::stat(backups[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const auto values = Lines(backups[0]);
    std::set<std::string> keys;
    for (const auto& [k, v] : values) keys.insert(k);
    EXPECT_EQ(keys, row.saved);
    EXPECT_EQ(values.at("IMEI"), sim_->Value("B2"));
    EXPECT_EQ(values.at(row.key), row.before);

    const std::size_t sets = Sets();
    std::vector<std::string> undo = row.undo.empty() ? std::vector<std::string>{"--password", "4071"} : row.undo;
    undo.insert(undo.begin(), "undo");
    RunResult u = Zd573(undo);
    ASSERT_EQ(u.rc, 0) << u.err;
    EXPECT_NE(u.err.find("Restoring " + backups[0].string()), std::string::npos) << u.err;
    EXPECT_NE(u.err.find("1 page written, verified"), std::string::npos) << u.err;
    EXPECT_EQ(sim_->Value(row.key), row.before);
    EXPECT_EQ(Sets(), sets + 1) << "only the page that differs";
    EXPECT_EQ(Backups().size(), 2u) << "undo is a write too";
    TearDown();
    SetUp();
  }
}

TEST_F(Undo, ATrackerWithoutBackupsIsToldSo) {
  StartSim();
  RunResult r = Zd573({"undo", "--password", "4071"});
  EXPECT_EQ(r.rc, 5);
  EXPECT_NE(r.err.find("No backup of the tracker with IMEI " + sim_->Value("B2")), std::string::npos) << r.err;
  EXPECT_EQ(Sets(), 0u);
}

// The newest 50 of a tracker are kept; files that are no backups are left alone.
TEST_F(Undo, TheOldestGoBeyondFifty) {
  StartSim();
  fs::create_directories(Folder());
  for (int i = 0; i < 50; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "20200101T0000%02dZ.ini", i);
    std::ofstream(Folder() / name) << "[DEVICE]\n";
  }
  std::ofstream(Folder() / "notes.txt") << "mine\n";
  ASSERT_EQ(Zd573({"set", "D1=x", "--password", "4071"}).rc, 0);
  const std::vector<fs::path> left = Backups();
  ASSERT_EQ(left.size(), 51u);  // 50 backups and the notes
  EXPECT_FALSE(fs::exists(Folder() / "20200101T000000Z.ini"));
  EXPECT_TRUE(fs::exists(Folder() / "20200101T000001Z.ini"));
  EXPECT_TRUE(fs::exists(Folder() / "notes.txt"));
  EXPECT_EQ(Lines(left[left.size() - 2]).at("D1"), "internet") << left[left.size() - 2];
}

// Without its backup a write does not happen, and the reason is given.
TEST_F(Undo, NoBackupNoWrite) {
  StartSim();
  fs::create_directories(dir_ / "data" / "zd573");
  std::ofstream(dir_ / "data" / "zd573" / "backups") << "a file where the folder goes\n";
  RunResult r = Zd573({"set", "D1=x", "--password", "4071"});
  EXPECT_EQ(r.rc, 5);
  EXPECT_NE(r.err.find("Cannot save the backup"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("nothing was sent"), std::string::npos) << r.err;
  EXPECT_EQ(Sets(), 0u);
  EXPECT_EQ(sim_->Value("D1"), "internet");
}

}  // namespace
}  // namespace zd573

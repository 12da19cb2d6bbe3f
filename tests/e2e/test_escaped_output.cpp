// Bytes from a file or a tracker never act on the terminal: a control byte in
// a key or a value is shown as \xHH in messages, in diff and in read.
#include <gtest/gtest.h>

#include <fstream>

#include "cli_fixture.h"

namespace zd573 {
namespace {

struct Hostile {
  const char* name;
  std::string trackerD1;  // the tracker's GPRS APN
  std::string file;       // the settings file given to the command
  std::vector<std::string> command;
  int rc;
  std::string shown;  // what the output holds instead of the raw bytes
};

class EscapedOutput : public Cli, public ::testing::WithParamInterface<Hostile> {};

TEST_P(EscapedOutput, ControlBytesAreShownEscaped) {
  const Hostile& h = GetParam();
  StartSim();
  sim_->SetValue("D1", h.trackerD1);
  std::ofstream(dir_ / "p.ini") << h.file;
  std::vector<std::string> args;
  for (const std::string& a : h.command) args.push_back(a == "FILE" ? (dir_ / "p.ini").string() : a);
  RunResult r = Zd573(args);
  EXPECT_EQ(r.rc, h.rc) << r.err;
  const std::string all = r.out + r.err;
  for (char c : all) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c) << " in:\n" << all;
  EXPECT_NE(all.find(h.shown), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(
    Table, EscapedOutput,
    ::testing::Values(
        // A key named with an escape sequence that clears the screen and sets the title.
        Hostile{"key_in_a_file", "internet", "[DEVICE]\n\x1b[2J\x1b]0;owned\x07=1\n", {"diff", "FILE", "--password", "4071"},
                5, "\\x1b[2J\\x1b]0;owned\\x07 is not a setting"},
        Hostile{"value_in_a_file", "internet", "[DEVICE]\nF5=1\x1b[31m\n", {"apply", "FILE", "--password", "4071"}, 5,
                "not \"1\\x1b[31m\""},
        Hostile{"tracker_value_in_diff", "ap\x1b[31mred\x07", "[DEVICE]\nD1=x\n", {"diff", "FILE", "--password", "4071"},
                10, "D1  GPRS APN: \"ap\\x1b[31mred\\x07\" -> \"x\""},
        Hostile{"tracker_value_in_read", "ap\x1b[31mred\x07", "", {"read", "--password", "4071"}, 0,
                "D1=ap\\x1b[31mred\\x07\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zd573

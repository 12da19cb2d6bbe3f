// Rosters: whatever a file holds, a roster that is taken is one the program
// writes back (FormatRoster) and reads again to the very same trackers, names
// and values; every IMEI it takes is 15 digits and given once.
#include <cstdint>
#include <set>
#include <string>

#include "device/roster.h"
#include "fuzz_support.h"

using namespace zd573;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const RosterRead first = ParseRoster(text, "r.csv", RosterRules{});
  if (!first.ok()) return 0;
  std::set<std::string> imeis;
  for (const RosterRow& row : first.roster.rows) {
    FUZZ_CHECK(row.imei.size() == 15 && imeis.insert(row.imei).second, row.imei);
    for (const ProfileLine& cell : row.values) FUZZ_CHECK(IsRosterKey(cell.key) && !cell.value.empty(), cell.key);
  }
  const std::string written = FormatRoster(first.roster);
  const RosterRead again = ParseRoster(written, "w.csv", RosterRules{});
  FUZZ_CHECK(again.ok(), written + "\n" + DescribeRoster(again.problem));
  FUZZ_CHECK(again.roster.keys == first.roster.keys, written);
  FUZZ_CHECK(again.roster.rows.size() == first.roster.rows.size(), written);
  for (std::size_t i = 0; i < first.roster.rows.size(); ++i) {
    const RosterRow& a = first.roster.rows[i];
    const RosterRow& b = again.roster.rows[i];
    FUZZ_CHECK(a.imei == b.imei && a.name == b.name && a.values.size() == b.values.size(), written);
    for (std::size_t k = 0; k < a.values.size(); ++k)
      FUZZ_CHECK(a.values[k].key == b.values[k].key && a.values[k].value == b.values[k].value,
                 a.values[k].key + ": \"" + a.values[k].value + "\" read back as \"" + b.values[k].value + "\"");
  }
  return 0;
}

#pragma once
// Settings files: a backup holds every value of one tracker, a profile any
// subset of them, to set up many trackers alike. Both are an ini file with one
// section, [DEVICE], of KEY=value lines in UTF-8; IMEI= names the tracker a
// backup came from. Keys are case-sensitive (Va is a contact's name, VA its
// number), so these files are read and written here rather than by the
// case-insensitive settings files' code.
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"
#include "device/device_settings.h"
#include "device/page_table.h"
#include "device/user_values.h"

namespace zd573 {

inline constexpr std::string_view kProfileSection = "DEVICE";

// Values that belong to one tracker alone: its IMEI, password, SIM PIN and own
// phone number. A profile saved for sharing leaves them out unless asked.
inline constexpr std::array<std::string_view, 4> kPerUnitKeys = {"B2", "OU", "B0", "B1"};
bool IsPerUnitKey(std::string_view key);

// Secrets: the password, the SIM PIN and the GPRS password. A file holding
// one is readable by its owner only, and a list of differences or a report
// says "(hidden)" for it. The GPRS password is shared by a fleet, so a
// profile holds it.
inline constexpr std::array<std::string_view, 3> kSecretKeys = {"OU", "B0", "D3"};
bool IsSecretKey(std::string_view key);
// The secret keys among `keys`, in their order.
std::vector<std::string_view> SecretKeysIn(const std::vector<std::string_view>& keys);

// The keys a backup keeps (every one) or a profile saved for sharing (those a
// page sends, without the per-unit keys), in table order.
std::vector<std::string_view> KeysToSave(bool everything);

// The name a save of the tracker's settings suggests: the name stored for it
// (its IMEI when it has none) and the date, "Grandma-2026-12-09.ini". What a
// file name cannot hold on Linux or Windows (/ \ : * ? " < > |, control
// characters, a leading dot) becomes '_'.
std::string SettingsFileName(std::string_view deviceName, std::string_view imei, int year, int month, int day);

struct ProfileLine {
  std::string key;
  std::string value;  // UTF-8, as the file gives it (quotes and outer blanks removed)
  int line = 0;       // 1-based
};

struct Profile {
  bool hasImei = false;
  std::string imei;                // IMEI= (or B2=): the tracker a backup was made from
  std::vector<ProfileLine> values;  // the keys a page sends, in file order
  const ProfileLine* Find(std::string_view key) const;
};

// Reads the [DEVICE] section of `text`. Refused, naming `name` and the lines:
// a key or the section given twice (which value was meant cannot be known),
// a key that is no setting. Values of keys that are only read (E0..E3, OZ)
// are skipped: a backup carries them.
Expected<Profile> ParseProfile(std::string_view text, const std::string& name);
// The same for a file; anything but a small regular file is refused unread.
Expected<Profile> ReadProfile(const std::string& path);

// The file for `keys` of `values` (device bytes shown as UTF-8): [DEVICE],
// IMEI= when B2 is among the keys, then the keys in table order. A line break
// cannot live in the file and is saved as a blank; `notes` says where. A text
// the code page cannot show is kept escaped (DeviceTextForFile), so every
// byte comes back; `escaped` lists those keys, and `notes` says so.
std::string FormatProfile(const DeviceValues& values, const std::vector<std::string_view>& keys, int codePage,
                          std::vector<std::string>* notes = nullptr, std::vector<std::string>* escaped = nullptr);

using PreparedProfile = std::vector<std::pair<std::string, PreparedValue>>;
// Whether the values set an empty password, which lets anyone in: asked about first.
bool SetsEmptyPassword(const PreparedProfile& values);
// How a line's value is checked and converted; PrepareValue unless given.
using ValueCheck = std::function<Expected<PreparedValue>(const ProfileLine& line, const ValueRules& rules)>;
// Every value checked and converted as a page would (PrepareValue): the first
// refusal names the file, the line and the field. Nothing here touches a tracker.
Expected<PreparedProfile> PrepareProfile(const Profile& profile, const ValueRules& rules, const std::string& name,
                                         std::vector<std::string>* notes = nullptr, const ValueCheck& check = {});

// One value the file would change, in device bytes as it goes after "KEY=".
struct KeyChange {
  std::string key;
  std::string tracker;
  std::string file;
};
struct PageChange {
  Page page;
  std::vector<KeyChange> keys;
};
struct ProfilePlan {
  std::vector<PageChange> pages;  // pages with a difference, in the order they are written
  // The tracker's record with the file's values over it and each written
  // page's rules applied: what the tracker holds once the plan is written.
  DeviceValues target;
  std::vector<Page> Pages() const;
  bool Empty() const { return pages.empty(); }
};

// Compares the file with the tracker's record page by page, over the values
// each page's sentences carry after the page's rules (a report interval of 2
// goes out as 3, so a file saying 2 does not differ from a tracker holding 3).
// A page the file has no key of is left alone. A value of the tracker's that
// its page could not send back is a BadValue error naming the field.
Expected<ProfilePlan> PlanProfile(const DeviceValues& tracker, const PreparedProfile& values);

// The keys to read before comparing `values` with a tracker (diff): the
// file's own and those its pages' rules read or change (a floor such as the
// report interval's, every key of the logger, whose switch decides what it
// sends), in table order, the password last. The other keys of those pages
// cannot differ: they would go out as the tracker holds them.
std::vector<std::string_view> KeysToCompare(const PreparedProfile& values);

// Why a settings file may not go to every tracker of a provisioning loop.
enum class SharedFault : std::uint8_t {
  None,
  NamesTracker,    // it names a tracker (IMEI=): a backup, whose values are that tracker's
  PerTrackerKeys,  // it holds values of one tracker alone (the SIM PIN B0, the own number B1)
};

struct SharedCheck {
  SharedFault fault = SharedFault::None;
  std::string imei;               // NamesTracker: the tracker the file names
  std::vector<std::string> keys;  // PerTrackerKeys: those keys, in the file's order
  // The file gives the password (OU), and it goes out only when asked for.
  bool passwordLeftOut = false;
  explicit operator bool() const { return fault == SharedFault::None; }
};

// Whether `profile` holds shared values only, so that a loop may write it to
// every tracker plugged in; the password it gives is shared only when
// `withPassword` (else LeaveOutPassword drops it).
SharedCheck CheckSharedProfile(const Profile& profile, bool withPassword);
// Drops the password from the values to send.
void LeaveOutPassword(PreparedProfile& values);

// The keys the pages' sentences can carry, in table order, the password last:
// what to read before comparing those pages, and after writing them.
std::vector<std::string_view> KeysOfPages(const std::vector<Page>& pages);
// The pages that send any of `profile`'s keys, in the order they are written.
std::vector<Page> PagesOf(const PreparedProfile& values);

// The keys of `pages` the tracker did not take: what was read back differs
// from what was sent (after the page's rules). Empty when all were taken.
std::vector<std::string> UntakenKeys(const DeviceValues& sent, const DeviceValues& readBack,
                                     const std::vector<Page>& pages);

}  // namespace zd573

#include "device/page_table.h"

#include <algorithm>

#include "device/device_settings.h"
#include "device/protocol.h"

namespace zd573 {
namespace {

using proto::kPartFirst, proto::kPartLast, proto::kPartMiddle, proto::kPartOnly;

// Device information.
constexpr std::string_view kInfoKeys[] = {"F5", "F7", "B0", "B1", "F6", "F4", "O6"};
constexpr SentenceCut kInfoSentences[] = {{kPartOnly, 0, kInfoKeys}};
constexpr FieldText kInfoFields[] = {
    {"B2", "STR_DEVICEPAGE_FIELDIMEI", "IMEI"},
    {"B0", "STR_DEVICEPAGE_FIELDPIN", "SIM card PIN code"},
    {"B1", "STR_DEVICEPAGE_FIELDPHONE", "device phone number"},
    {"F4", "STR_DEVICEPAGE_FIELDDATEFORMAT", "date format"},
    {"F5", "STR_DEVICEPAGE_FIELDTIMEFORMAT", "time format"},
    {"F6", "STR_DEVICEPAGE_FIELDDAYLIGHT", "daylight saving"},
    {"F7", "STR_DEVICEPAGE_FIELDKEYLOCK", "automatic key lock"},
    {"O6", "STR_DEVICEPAGE_FIELDTIMEZONE", "time zone"},
};

// Contacts and messages: five contacts a sentence, names first, then the
// emergency numbers, then the report settings.
constexpr std::string_view kNames1[] = {"Va", "Vb", "Vc", "Vd", "Ve"};
constexpr std::string_view kNames2[] = {"Vf", "Vg", "Vh", "Vi", "Vj"};
constexpr std::string_view kNames3[] = {"Vk", "Vl", "Vm", "Vn", "Vo"};
constexpr std::string_view kNames4[] = {"Vp", "Vq", "Vr", "Vs", "Vt"};
constexpr std::string_view kNumbers1[] = {"VA", "VB", "VC", "VD", "VE"};
constexpr std::string_view kNumbers2[] = {"VF", "VG", "VH", "VI", "VJ"};
constexpr std::string_view kNumbers3[] = {"VK", "VL", "VM", "VN", "VO"};
constexpr std::string_view kNumbers4[] = {"VP", "VQ", "VR", "VS", "VT"};
constexpr std::string_view kEmergency[] = {"G0", "G1", "G2", "G3", "G4", "G5"};
constexpr std::string_view kReport[] = {"H2", "F0", "F2"};
constexpr SentenceCut kContactSentences[] = {
    {kPartFirst, 0, kNames1},    {kPartMiddle, 1, kNames2},   {kPartMiddle, 2, kNames3},
    {kPartMiddle, 3, kNames4},   {kPartMiddle, 4, kNumbers1}, {kPartMiddle, 5, kNumbers2},
    {kPartMiddle, 6, kNumbers3}, {kPartMiddle, 7, kNumbers4}, {kPartMiddle, 8, kEmergency},
    {kPartLast, 9, kReport},
};
constexpr FieldText kContactFields[] = {
    {"Va", "STR_MSGSPAGE_FIELDNAME", "name of contact %1", 20},
    {"VA", "STR_MSGSPAGE_FIELDNUMBER", "phone number of contact %1", 20},
    {"G0", "STR_MSGSPAGE_FIELDEMERGENCY", "emergency number %1", 6},
    {"F0", "STR_MSGSPAGE_FIELDREPORTNUMBER", "SMS report number"},
    {"H2", "STR_MSGSPAGE_FIELDINTERVAL", "report interval"},
    {"F2", "STR_MSGSPAGE_FIELDFORMAT", "SMS format"},
};
// The device cannot report more often.
constexpr ValueFloor kContactFloors[] = {{"H2", 3, 3}};

// GPRS; the server (E0..E3) is set by other means and only shown.
constexpr std::string_view kGprsKeys[] = {"D1", "D2", "D3", "D4", "D5"};
constexpr SentenceCut kGprsSentences[] = {{kPartOnly, 0, kGprsKeys}};
constexpr FieldText kGprsFields[] = {
    {"D1", "STR_GPRSPAGE_FIELDAPN", "GPRS APN"},
    {"D2", "STR_GPRSPAGE_FIELDUSER", "GPRS user name"},
    {"D3", "STR_GPRSPAGE_FIELDPASSWORD", "GPRS password"},
    {"D4", "STR_GPRSPAGE_FIELDDNS1", "DNS 1"},
    {"D5", "STR_GPRSPAGE_FIELDDNS2", "DNS 2"},
    {"E0", "STR_GPRSPAGE_FIELDIP", "server IP address"},
    {"E1", "STR_GPRSPAGE_FIELDPORT", "server port"},
    {"E2", "STR_GPRSPAGE_FIELDIP2", "second server address"},
    {"E3", "STR_GPRSPAGE_FIELDPORT2", "second server port"},
};

// Ringing and alarms; the device takes alarm 2's melody with the first half.
constexpr std::string_view kRingFirst[] = {"FE", "F8", "FB", "XB", "XC", "XD", "XA", "YA"};
constexpr std::string_view kRingLast[] = {"YB", "YC", "YD", "ZB", "ZC", "ZD", "ZA"};
constexpr SentenceCut kRingSentences[] = {{kPartFirst, 0, kRingFirst}, {kPartLast, 1, kRingLast}};
constexpr FieldText kRingFields[] = {
    {"F8", "STR_RINGPAGE_FIELDVIBRATE", "vibrate mode"},
    {"FB", "STR_RINGPAGE_FIELDVOLUME", "ringing volume"},
    {"FE", "STR_RINGPAGE_FIELDRINGTONE", "ring tone"},
    {"OZ", "STR_RINGPAGE_FIELDMELODIES", "number of melodies"},
    // Alarms 1 to 3 are X, Y and Z.
    {"XA", "STR_RINGPAGE_FIELDALARMMELODY", "alarm %1 melody", 3, 0},
    {"XB", "STR_RINGPAGE_FIELDALARMTIME", "alarm %1 time", 3, 0},
    {"XC", "STR_RINGPAGE_FIELDALARMMODE", "alarm %1 mode", 3, 0},
    {"XD", "STR_RINGPAGE_FIELDALARMDAYS", "alarm %1 weekdays", 3, 0},
};

// Logger: the interval goes only with logging on; off is OX=0 alone.
constexpr std::string_view kLoggerKeys[] = {"O2", "OX"};
constexpr std::string_view kLoggerOffKeys[] = {"OX"};
constexpr SentenceCut kLoggerSentences[] = {{kPartOnly, 0, kLoggerKeys}};
constexpr SentenceCut kLoggerOff[] = {{kPartOnly, 0, kLoggerOffKeys}};
constexpr FieldText kLoggerFields[] = {
    {"O2", "STR_LOGGERPAGE_FIELDINTERVAL", "logging interval"},
    {"OX", "STR_LOGGERPAGE_FIELDLOGGING", "logging"},
};
constexpr ValueFloor kLoggerFloors[] = {{"O2", 0, 1}};

// Logging is stored as 0 or 1: any other value is on.
std::span<const SentenceCut> LoggerRule(const PageRow& row, DeviceValues& values) {
  if (values.Number("OX") == 0) return kLoggerOff;
  values.SetNumber("OX", 1);
  return row.sentences;
}

constexpr std::string_view kPasswordKeys[] = {"OU"};
constexpr SentenceCut kPasswordSentences[] = {{kPartOnly, 0, kPasswordKeys}};
constexpr FieldText kPasswordFields[] = {{"OU", "STR_PASSWORDPAGE_FIELDPASSWORD", "password"}};

constexpr PageRow kRows[] = {
    {Page::Info, "device information", "STR_DEVICEPAGE_SETTINGS", "STR_MAINPAGE_STR1", "Device Information",
     kInfoSentences, kInfoFields, {}},
    {Page::Contacts, "contacts and messages", "STR_MSGSPAGE_SETTINGS", "STR_MAINPAGE_STR2", "Contacts && Message",
     kContactSentences, kContactFields, kContactFloors},
    {Page::Gprs, "GPRS", "STR_GPRSPAGE_SETTINGS", "STR_MAINPAGE_STR3", "GPRS Parameter", kGprsSentences, kGprsFields,
     {}},
    {Page::Ring, "ringing and alarms", "STR_RINGPAGE_SETTINGS", "STR_MAINPAGE_STR4", "Ringing && Alarm",
     kRingSentences, kRingFields, {}},
    {Page::Logger, "logger", "STR_LOGGERPAGE_SETTINGS", "STR_MAINPAGE_STR5", "Logger", kLoggerSentences,
     kLoggerFields, kLoggerFloors, &LoggerRule},
    {Page::Password, "password", "STR_PASSWORDPAGE_SETTINGS", "STR_PASSWORDPAGE_STR1", "Change Password",
     kPasswordSentences, kPasswordFields, {}},
};

// Every key a page sends is one the tracker stores, and only one page sends it.
constexpr bool KnownKey(std::string_view key) {
  if (key == proto::kPasswordKey) return true;
  for (std::string_view k : proto::kTableKeys)
    if (k == key) return true;
  return false;
}
constexpr bool EachKeySentOnce() {
  int sent = 0;
  for (const PageRow& row : kRows)
    for (const SentenceCut& cut : row.sentences)
      for (std::string_view key : cut.keys) {
        if (!KnownKey(key)) return false;
        ++sent;
        for (const PageRow& other : kRows)
          for (const SentenceCut& c : other.sentences)
            for (std::string_view k : c.keys)
              if (k == key && (&other != &row || &c != &cut)) return false;
      }
  return sent > 0;
}
static_assert(EachKeySentOnce(), "a page sends a key the tracker does not store, or two pages send one key");

bool Sends(std::span<const SentenceCut> cuts, std::string_view key) {
  return std::any_of(cuts.begin(), cuts.end(), [&](const SentenceCut& cut) {
    return std::find(cut.keys.begin(), cut.keys.end(), key) != cut.keys.end();
  });
}

// The position of `key` in the series `text` names (0 for its first key), or -1.
int SeriesNumber(const FieldText& text, std::string_view key) {
  if (key.size() != text.key.size()) return -1;
  if (text.count == 1) return key == text.key ? 0 : -1;
  const auto at = static_cast<std::size_t>(text.counting);
  const std::size_t other = 1 - at;
  if (key[other] != text.key[other]) return -1;
  const int n = key[at] - text.key[at];
  return n >= 0 && n < text.count ? n : -1;
}

}  // namespace

std::span<const PageRow> PageTable() { return kRows; }

const PageRow* FindPageRow(Page page, std::span<const PageRow> table) {
  for (const PageRow& row : table)
    if (row.id == page) return &row;
  return nullptr;
}

const PageRow* PageNamed(std::string_view name, std::span<const PageRow> table) {
  for (const PageRow& row : table)
    if (row.name == name) return &row;
  return nullptr;
}

std::string_view PageName(Page page) {
  const PageRow* row = FindPageRow(page);
  return row ? row->name : std::string_view();
}

std::optional<Page> PageOfKey(std::string_view key, std::span<const PageRow> table) {
  for (const PageRow& row : table)
    if (Sends(row.sentences, key)) return row.id;
  return std::nullopt;
}

bool PageSendsText(Page page) {
  for (const KeyInfo& k : AllKeys())
    if (k.kind == FieldKind::Text && PageOfKey(k.key) == page) return true;
  return false;
}

bool PageSends(Page page, std::string_view key, std::span<const PageRow> table) {
  const PageRow* row = FindPageRow(page, table);
  return row && Sends(row->sentences, key);
}

std::vector<const PageRow*> PagesSending(std::span<const std::string> keys, std::span<const PageRow> table) {
  std::vector<const PageRow*> rows;
  for (const PageRow& row : table)
    if (std::any_of(keys.begin(), keys.end(), [&](const std::string& key) { return Sends(row.sentences, key); }))
      rows.push_back(&row);
  return rows;
}

namespace {

std::optional<FieldNaming> NameIn(const PageRow& row, std::string_view key) {
  for (const FieldText& text : row.fields)
    if (const int n = SeriesNumber(text, key); n >= 0) return FieldNaming{&text, text.count == 1 ? 0 : n + 1};
  return std::nullopt;
}

}  // namespace

std::optional<FieldNaming> NameOfField(std::string_view key, std::span<const PageRow> table) {
  // The page that sends a field names it; a field only read, the page that shows it.
  if (const std::optional<Page> sender = PageOfKey(key, table))
    if (auto naming = NameIn(*FindPageRow(*sender, table), key)) return naming;
  for (const PageRow& row : table)
    if (auto naming = NameIn(row, key)) return naming;
  return std::nullopt;
}

std::string FieldLabel(std::string_view key, std::span<const PageRow> table) {
  const std::optional<FieldNaming> naming = NameOfField(key, table);
  if (!naming) return std::string(key);
  std::string name(naming->text->english);
  if (const std::size_t at = name.find("%1"); at != std::string::npos) name.replace(at, 2, std::to_string(naming->number));
  return name + " (" + std::string(key) + ")";
}

const ValueFloor* FloorOf(std::string_view key, std::span<const PageRow> table) {
  for (const PageRow& row : table)
    for (const ValueFloor& floor : row.floors)
      if (floor.key == key) return &floor;
  return nullptr;
}

Expected<std::vector<Sentence>> BuildRowTransaction(const PageRow& row, DeviceValues& values) {
  const std::span<const SentenceCut> cuts = row.rule ? row.rule(row, values) : row.sentences;
  for (const ValueFloor& floor : row.floors)
    if (Sends(cuts, floor.key) && values.Number(floor.key) <= floor.atMost) values.SetNumber(floor.key, floor.sentAs);
  std::vector<Sentence> out;
  out.reserve(cuts.size());
  for (const SentenceCut& cut : cuts) {
    auto sentence = BuildSetSentence(cut, [&](std::string_view key) { return values.Format(key); });
    if (!sentence) return sentence.failure();
    out.push_back(std::move(*sentence));
  }
  return out;
}

}  // namespace zd573

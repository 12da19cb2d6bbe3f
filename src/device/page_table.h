#pragma once
// The configuration pages, one row each: the sentences its Apply sends (its
// keys in sentence order, cut into sentences), how messages name the page and
// its fields, and the page's own rules on the values it sends. The transaction
// builder, the apply order, the messages and the command line read this table,
// so a page is added by adding a row.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/sentences.h"

namespace zd573 {

class DeviceValues;

// The pages' ids; the table below gives each its row.
enum class Page : std::uint8_t { Info, Contacts, Gprs, Ring, Logger, Password };

// How messages name a field, or a series of fields told apart by a number
// ("name of contact 1" (Va) to "name of contact 20" (Vt)).
struct FieldText {
  std::string_view key;      // the field, or the first of the series
  std::string_view textKey;  // its name in the language file; "%1" is the number in a series
  std::string_view english;  // its name on the command line; "%1" likewise
  int count = 1;             // how many fields the series has
  int counting = 1;          // which character of the key counts up along the series (0 or 1)
};

// A number the tracker takes only from a floor up: a value of at most
// `atMost` is sent as `sentAs`.
struct ValueFloor {
  std::string_view key;
  int atMost;
  int sentAs;
};

struct PageRow {
  Page id;
  std::string_view name;     // how the command line and the core's messages name its settings
  std::string_view nameKey;  // the same in the language file
  std::string_view titleKey;  // the page's title in the language file, and the text without one
  std::string_view titleDefault;
  std::span<const SentenceCut> sentences;  // what its Apply sends, in order
  std::span<const FieldText> fields;       // the fields it shows, sent or only read
  std::span<const ValueFloor> floors;
  // For a page whose sentences depend on its values: sets what the page
  // always sends and returns the sentences to send instead of `sentences`.
  std::span<const SentenceCut> (*rule)(const PageRow& row, DeviceValues& values) = nullptr;
};

// Every page, in the order a whole restore writes them.
std::span<const PageRow> PageTable();

const PageRow* FindPageRow(Page page, std::span<const PageRow> table = PageTable());
// The row whose `name` is `name`.
const PageRow* PageNamed(std::string_view name, std::span<const PageRow> table = PageTable());
std::string_view PageName(Page page);

// The page whose transaction sends KEY; none for keys that are only read (B2, E0..E3, OZ).
std::optional<Page> PageOfKey(std::string_view key, std::span<const PageRow> table = PageTable());
bool PageSends(Page page, std::string_view key, std::span<const PageRow> table = PageTable());
// Whether the page sends texts, whose encoding then belongs to the tracker.
bool PageSendsText(Page page);
// The pages that send any of `keys`, in table order.
std::vector<const PageRow*> PagesSending(std::span<const std::string> keys,
                                         std::span<const PageRow> table = PageTable());

// A field's name: its text and, in a series, its number (else 0).
struct FieldNaming {
  const FieldText* text = nullptr;
  int number = 0;
};
// The page that sends the field names it, else the first page that shows it.
std::optional<FieldNaming> NameOfField(std::string_view key, std::span<const PageRow> table = PageTable());
// How the command line and the core's messages name a field: "GPRS APN (D1)",
// "name of contact 3 (Vc)"; an unknown key as it is.
std::string FieldLabel(std::string_view key, std::span<const PageRow> table = PageTable());

// The floor of a key some page sends, or none.
const ValueFloor* FloorOf(std::string_view key, std::span<const PageRow> table = PageTable());

// The row's own rules applied to `values` (see BuildPageTransaction), then its
// sentences from them. Nothing is built when a text cannot be framed.
Expected<std::vector<Sentence>> BuildRowTransaction(const PageRow& row, DeviceValues& values);

}  // namespace zd573

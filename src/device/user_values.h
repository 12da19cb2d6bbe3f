#pragma once
// How the text a person gives for a key becomes the value the record stores
// and the tracker receives. The command line and every page go through here,
// so a value is checked, converted and refused the same way wherever it is
// typed, and every refusal names the field.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"
#include "device/device_settings.h"

namespace zd573 {

struct ValueRules {
  int codePage = DeviceValues::kSingleByteCodePage;  // the device text encoding
  // F4 may be any text (a restore gives back the tracker's own) rather than
  // one of the six formats the pages offer.
  bool anyDateFormat = false;
  // The command line and backups give the two intervals as whole numbers: a
  // text that is not one is refused. The pages read their interval boxes as
  // they always have (an empty box is 0, trailing text is ignored). The
  // page rule (a report interval of 3 or less sent as 3, a logging interval of
  // 0 or less as 1) applies either way.
  bool wholeIntervals = false;
  // Texts come from a settings file, where a byte the code page cannot decode
  // is kept as \xHH (DeviceTextForFile): they are read back to those bytes.
  bool fileText = false;
};

struct PreparedValue {
  std::string bytes;        // text keys: the device-encoded text
  std::int64_t number = 0;  // number keys
  std::string note;         // why the stored value differs from the typed one, if it does
};

// Turns `utf8` for `key` into the value to store, or a BadValue error naming
// the field: the key must exist and be sent by some page, a text must be
// encodable, framable and fit its capacity in bytes, a number must be in range.
// The report interval and the logging interval follow their pages' rules: the
// typed text is read as a decimal that may have blanks, a sign and trailing
// text (with rules.wholeIntervals it must be a whole number); a report
// interval of 3 or less is sent as 3, a logging interval of 0 or less as 1;
// above 65535 is refused.
Expected<PreparedValue> PrepareValue(std::string_view key, std::string_view utf8, const ValueRules& rules);

// Stores a prepared value into `values`.
void StorePrepared(DeviceValues& values, std::string_view key, const PreparedValue& value);

// PrepareValue and StorePrepared together; the note (or an empty text) on success.
Expected<std::string> StoreUserValue(DeviceValues& values, std::string_view key, std::string_view utf8,
                                     const ValueRules& rules);

// A number from a control (a check box, a list) for `key`, checked against the key's range.
Status StoreUserNumber(DeviceValues& values, std::string_view key, std::int64_t number);

}  // namespace zd573

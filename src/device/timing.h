#pragma once
// Every pause the tracker needs, in one place. Tests may shorten some through
// the options objects that carry them, never by editing these values.
#include <chrono>

namespace zd573::timing {

using std::chrono::milliseconds;

inline constexpr milliseconds kSetSentencePause{1000};  // after each set sentence, so the device can store it
inline constexpr milliseconds kPortMatchPause{500};     // per matching port in the search
inline constexpr milliseconds kLoginPause{1000};        // "Password Correct" shown before the full read
inline constexpr milliseconds kSearchDelay{5000};       // single-shot search timer
inline constexpr milliseconds kReadFirstByte{100};      // a read waits this long for a first byte
inline constexpr milliseconds kReadPassPause{20};       // between passes of the settings read
inline constexpr milliseconds kFullReadQueryPause{100}; // after a query of a read that counts lines on its own
inline constexpr milliseconds kWriteTimeout{5000};      // a write that cannot drain by then has failed
inline constexpr milliseconds kStopCheck{50};           // a write waiting for the line looks for a stop this often
inline constexpr milliseconds kBusyPortRetry{1000};     // a port another program holds is tried again this often
inline constexpr milliseconds kBusyPortPatience{30000}; // ... for this long, then the open fails with the reason

}  // namespace zd573::timing

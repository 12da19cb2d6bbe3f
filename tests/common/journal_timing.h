#pragma once
// How far apart two sentences in the simulated tracker's journal must be when
// the program paused between them.
//
// The simulator stamps a sentence when its thread reads it off the pty, not
// when the program wrote it. Each stamp lags its write by the kernel's hand-over
// plus however long the simulator's thread waits for a CPU once the bytes are
// there, so the gap between two stamps can come out short of the real pause by
// the earlier sentence's lag (4 ms has been seen on a busy two-core machine). The
// allowance covers several scheduler periods of such a wait, yet fails any
// program that cuts the pause short by more, let alone one that halves it.
//
// The exact pause, with no allowance, is checked where it is made: on the
// program's own writes (the link test's recording port).
#include <chrono>

namespace zd573::test {

inline constexpr std::chrono::milliseconds kJournalLagAllowance{100};

// The least gap between the stamps of two sentences written `pause` apart.
constexpr long long MinJournalGapMs(std::chrono::milliseconds pause) {
  return (pause - kJournalLagAllowance).count();
}

}  // namespace zd573::test

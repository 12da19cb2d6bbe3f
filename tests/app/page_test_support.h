#pragma once
// What the configuration page tests share: a record that matches the simulated
// tracker as a full read would leave it, the page opened from its main-window
// button, and the set sentences the tracker received.
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "app/CZD573_UtilityDlg.h"
#include "controls/CGdipButton.h"
#include "journal_timing.h"
#include "frame/PageFrame.h"
#include "pages/PageRegistry.h"
#include "shell_test_support.h"
#include "simulator.h"

namespace zd573::test {

// The record as a full read of this tracker would leave it, and (unless a
// window's session holds it) its port held as after that read.
inline void ReadRecordFrom(ShellEnv& env, const sim::Simulator& tracker, bool holdPort = true) {
  env.Context().Settings().Update([&](DeviceValues& v) {
    for (const KeyInfo& k : AllKeys()) v.StoreReply(k.key, tracker.Value(k.key), env.Context().CodePage());
  });
  env.Context().portName = "ttyACM0";
  if (holdPort) env.HoldTrackerPort();
}

// The main window as after a full read, and the page of one of its buttons.
struct OpenedPage {
  std::unique_ptr<CZD573_UtilityDlg> main;
  QPointer<PageFrame> page;
};

// The port held after ReadRecordFrom stands for the window's session: the
// window's own search finds no tracker, and the page leases that port.
template <class P>
P* OpenFromButton(ShellEnv& env, OpenedPage& o, int buttonId) {
  env.Tree().Unplug("ttyACM0");
  o.main = std::make_unique<CZD573_UtilityDlg>(env.Context());
  o.main->show();
  [&] { QTRY_COMPARE_WITH_TIMEOUT(o.main->StatusCode(), int(CZD573_UtilityDlg::kNoDevice), 10000); }();
  env.LeaseHeldPort();
  for (int id : CZD573_UtilityDlg::PageButtonIds()) o.main->Button(id)->SetDisabledState(false);
  QTest::mouseClick(o.main->Button(buttonId), Qt::LeftButton);
  o.page = o.main->OpenPage();
  return qobject_cast<P*>(o.page.data());
}

// Presses Apply (or another button that starts device work) and waits until
// the page's work has ended; the window is never blocked meanwhile.
inline void PressAndWait(PageFrame* page, QAbstractButton* button, int timeoutMs = 20000) {
  QTest::mouseClick(button, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!page->Busy(), timeoutMs);
}
inline void ApplyAndWait(PageFrame* page, int timeoutMs = 20000) { PressAndWait(page, page->ApplyButton(), timeoutMs); }

// A page as a view of a window of its own, built as the main window builds it.
template <class P>
struct Standalone {
  explicit Standalone(ShellEnv& env) : window(std::make_unique<QWidget>()) {
    window->setFixedSize(PageFrame::kSize);
    page = MakePage<P>(env.Context(), window.get());
    window->show();
  }
  std::unique_ptr<QWidget> window;
  QPointer<P> page;
};

// The set sentences received since `from`, in order.
inline std::vector<sim::JournalEntry> SetSentences(const sim::Simulator& tracker, std::size_t from = 0) {
  std::vector<sim::JournalEntry> sets;
  const auto journal = tracker.Journal();
  for (std::size_t i = from; i < journal.size(); ++i)
    if (journal[i].bytes.rfind("KVS,", 0) == 0) sets.push_back(journal[i]);
  return sets;
}

// Each sentence at least the set-sentence pause after the one before.
inline bool PausedBetween(const std::vector<sim::JournalEntry>& sets, std::chrono::milliseconds pause) {
  for (std::size_t i = 1; i < sets.size(); ++i)
    if (sets[i].ms - sets[i - 1].ms < MinJournalGapMs(pause)) return false;
  return true;
}

}  // namespace zd573::test

// The window's "For each tracker plugged in" for one tracker, offscreen: the
// sheet is opened on FILE, the loop started with REPORT, and the seconds from
// its start to the tracker's row are printed. stage_rate.sh sets them beside
// `zd573 provision --count 1`.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>

#include "frame/AppContext.h"
#include "frame/SessionHost.h"
#include "pages/ProfileReviewSheet.h"

using namespace zd573;

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: zd573-window-loop PORT FILE REPORT PASSWORD\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  AppContext context;
  int failures = 0;
  context.notifier.message = [&failures](QWidget*, const QString& text, MessageIcon icon) {
    if (icon == MessageIcon::Error) {
      ++failures;
      std::fprintf(stderr, "%s\n", qPrintable(text));
    }
  };
  context.notifier.askYesNo = [](QWidget*, const QString&, bool) { return true; };
  SessionHost host(context, nullptr);
  host.Get().SetFixedPort(argv[1]);
  ProfileReviewSheet* sheet = ProfileReviewSheet::Open(context, host, nullptr, QString::fromLocal8Bit(argv[2]));
  if (!sheet) return 1;
  sheet->EachTracker()->setChecked(true);
  sheet->PasswordEdit()->setText(QString::fromLocal8Bit(argv[4]));
  sheet->ReportEdit()->setText(QString::fromLocal8Bit(argv[3]));
  const auto start = std::chrono::steady_clock::now();
  sheet->Apply();
  if (!sheet->Looping()) return 1;
  QObject::connect(sheet->TrackersDone()->model(), &QAbstractItemModel::rowsInserted, sheet, [&] {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    std::fflush(stdout);
    sheet->Stop();
  });
  QObject::connect(sheet, &SkinnedDialog::finished, &app, [] { QApplication::quit(); });
  QApplication::exec();
  delete sheet;
  return failures ? 1 : 0;
}

// A device job's notices reach the window's thread while the job is current,
// and never once it has been stopped or replaced, even when they were already
// queued. No timing: each job waits for its stop request before it reports.
#include "qt_warnings.h"
#include <QtTest>

#include "device/device_job.h"
#include "device/device_port.h"
#include "frame/BackgroundTask.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;

namespace {

enum class Ending { Stop, Restart, None };

// Reports its end with `code`, at once or only after the stop request.
DeviceWorker::Job Reporting(LogObserver& notices, int code, bool atOnce) {
  return [&notices, code, atOnce](DevicePort& port, std::stop_token stop) {
    if (atOnce) notices.LogEnded(code);
    std::uint8_t byte;
    while (!stop.stop_requested()) port.Read(&byte, 1);
    if (!atOnce) notices.LogEnded(code);
  };
}

}  // namespace

Q_DECLARE_METATYPE(Ending)

class TestJobRelay : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void notices_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QList<int>>("delivered");
    // The first job reports only once told to stop: Stop joins it, so its
    // notice is queued by then, and must be dropped on delivery.
    QTest::newRow("stopped") << Ending::Stop << QList<int>{};
    // A new job (a new search after Loginout) stops the first one; only the
    // new job's notice arrives.
    QTest::newRow("replaced") << Ending::Restart << QList<int>{2};
    // Control: a job that reports while it runs is heard.
    QTest::newRow("live") << Ending::None << QList<int>{1};
  }
  void notices() {
    QFETCH(Ending, ending);
    QFETCH(QList<int>, delivered);
    BarePty first, second;
    auto port1 = OpenComPort(first.SlavePath());
    auto port2 = OpenComPort(second.SlavePath());
    QVERIFY(port1.ok() && port2.ok());

    QObject window;
    QList<int> heard;
    LogRelay notices(&window, {.ended = [&heard](int code) { heard << code; }});
    DeviceWorker worker(notices);
    QVERIFY(worker.Start(std::move(port1.value()), Reporting(notices, 1, ending == Ending::None)).ok());
    switch (ending) {
      case Ending::Stop: worker.Stop(); break;
      case Ending::Restart:
        QVERIFY(worker.Start(std::move(port2.value()), Reporting(notices, 2, true)).ok());
        break;
      case Ending::None: break;
    }
    QTRY_COMPARE(heard.size(), delivered.size());
    QCoreApplication::processEvents();
    QCOMPARE(heard, delivered);
    worker.Stop();
    QCoreApplication::processEvents();
    QCOMPARE(heard, delivered);
  }
};

QTEST_MAIN(TestJobRelay)
#include "tst_job_relay.moc"

// A device job's notices reach the window's thread while the job is current,
// and never once it has been stopped or replaced, even when they were already
// queued. No timing: each job waits for its stop request before it reports.
#include <QtTest>

#include "device/device_job.h"
#include "device/device_port.h"
#include "frame/JobRelay.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;

namespace {

enum class Ending { Stop, Restart, None };

// Reports "<name>" as a failure, at once or only after the stop request.
DeviceWorker::Job Reporting(ReadObserver& notices, std::string name, bool atOnce) {
  return [&notices, name, atOnce](DevicePort& port, std::stop_token stop) {
    if (atOnce) notices.ReadFailed(name);
    std::uint8_t byte;
    while (!stop.stop_requested()) port.Read(&byte, 1);
    if (!atOnce) notices.ReadFailed(name);
  };
}

}  // namespace

Q_DECLARE_METATYPE(Ending)

class TestJobRelay : public QObject {
  Q_OBJECT

 private slots:
  void notices_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QStringList>("delivered");
    // The first job reports only once told to stop: Stop joins it, so its
    // notice is queued by then, and must be dropped on delivery.
    QTest::newRow("stopped") << Ending::Stop << QStringList{};
    // A new job (a new search after Loginout) stops the first one; only the
    // new job's notice arrives.
    QTest::newRow("replaced") << Ending::Restart << QStringList{QStringLiteral("second")};
    // Control: a job that reports while it runs is heard.
    QTest::newRow("live") << Ending::None << QStringList{QStringLiteral("first")};
  }
  void notices() {
    QFETCH(Ending, ending);
    QFETCH(QStringList, delivered);
    BarePty first, second;
    auto port1 = OpenComPort(first.SlavePath());
    auto port2 = OpenComPort(second.SlavePath());
    QVERIFY(port1.ok() && port2.ok());

    QObject window;
    QStringList heard;
    ReadRelay notices(&window, {.failed = [&heard](const std::string& name) { heard << QString::fromStdString(name); }});
    DeviceWorker worker(notices);
    QVERIFY(worker.Start(std::move(port1.value()), Reporting(notices, "first", ending == Ending::None)).ok());
    switch (ending) {
      case Ending::Stop: worker.Stop(); break;
      case Ending::Restart:
        QVERIFY(worker.Start(std::move(port2.value()), Reporting(notices, "second", true)).ok());
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

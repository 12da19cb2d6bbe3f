// Pictures of the windows as a person sees them, to look at after a change of
// the look: the menu in each state of a session with the demo tracker, every
// page and every sheet, in English and Traditional Chinese.
// Usage: zd573-screens FOLDER (tools/screens.sh writes build/screens/).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>

#include "app/CZD573_UtilityDlg.h"
#include "demo/DemoTracker.h"
#include "device/device_port.h"
#include "frame/AppContext.h"
#include "app/ProfileMenu.h"
#include "pages/LoginPage.h"
#include "pages/ProfileReviewSheet.h"
#include "settings/paths.h"

using namespace zd573;

namespace {

QString folder;
int failures = 0;

void Save(QWidget* widget, const QString& name) {
  QCoreApplication::processEvents();
  if (!widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"))) {
    std::fprintf(stderr, "zd573-screens: cannot write %s\n", qPrintable(name));
    ++failures;
  }
}

bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return done();
}

using Dlg = CZD573_UtilityDlg;

void Walk(AppContext& context, const QString& language) {
  (void)settings::WriteCurrentLanguage(context.SystemIni(), language.toStdString());
  Dlg window(context);
  window.WatchDeviceDirectory(QString::fromStdString(DevRoot()));
  window.show();
  Save(&window, QStringLiteral("main-searching-") + language);
  if (!WaitFor([&] { return window.StatusCode() == Dlg::kIdentified; })) {
    std::fprintf(stderr, "zd573-screens: the demo tracker was not found\n");
    ++failures;
    return;
  }
  Save(&window, QStringLiteral("main-identified-") + language);
  window.OnLogin();
  if (auto* login = qobject_cast<LoginPage*>(window.OpenSheet())) {
    Save(&window, QStringLiteral("window-sheet-login-") + language);
    login->PasswordEdit()->setText(QString::fromLatin1(kDefaultPassword.data(), kDefaultPassword.size()));
    login->Check();
  }
  if (WaitFor([&] { return window.StatusCode() == Dlg::kReading; }))
    Save(&window, QStringLiteral("main-reading-") + language);
  if (!WaitFor([&] { return window.StatusCode() == Dlg::kReadCorrect; }, 60000)) {
    std::fprintf(stderr, "zd573-screens: the settings were not read\n");
    ++failures;
    return;
  }
  Save(&window, QStringLiteral("main-ready-") + language);
  for (int id : Dlg::PageButtonIds()) {
    if (id == Dlg::kSettingsButton) continue;
    window.OnPageButton(id);
    if (PageFrame* page = window.OpenPage()) {
      Save(&window, QStringLiteral("window-page-%1-").arg(id) + language);
      page->Back();
      WaitFor([&] { return window.OpenPage() == nullptr; }, 2000);
    }
  }
  window.OnSettings();
  if (SkinnedDialog* sheet = window.OpenSheet()) {
    Save(&window, QStringLiteral("window-sheet-setup-") + language);
    sheet->reject();
  }
  window.Files()->OnSave();
  if (SkinnedDialog* sheet = window.OpenSheet()) {
    Save(&window, QStringLiteral("window-sheet-save-") + language);
    sheet->reject();
  }
  // A profile that changes three pages and the password.
  QTemporaryDir files;
  const QString profile = files.filePath(QStringLiteral("care.ini"));
  if (QFile f(profile); f.open(QIODevice::WriteOnly))
    f.write("[DEVICE]\nD1=care.apn\nD3=care.pw\nVa=Care desk\nVb=Night shift\nFB=2\nYC=2\nXB=757412100\nYD=0\nOU=9999\n");
  context.notifier.openFile = [profile](QWidget*, const QString&, const QString&) { return profile; };
  window.Files()->OnLoad();
  if (auto* review = qobject_cast<ProfileReviewSheet*>(window.OpenSheet())) {
    Save(&window, QStringLiteral("window-sheet-review-") + language);
    review->EachTracker()->setChecked(true);
    Save(&window, QStringLiteral("window-sheet-review-each-") + language);
    review->reject();
  }
  window.OnLogout();
  Save(&window, QStringLiteral("main-nodevice-") + language);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fputs("Usage: zd573-screens FOLDER\n", stderr);
    return 2;
  }
  folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  // A settings folder of its own: the user's language and names stay untouched.
  QTemporaryDir settingsFolder;
  settings::SetSystemIniPathOverride(std::filesystem::path(settingsFolder.filePath(QStringLiteral("system.ini")).toStdString()));
  DemoTracker demo;
  std::string error;
  if (!demo.Start(&error)) {
    std::fprintf(stderr, "zd573-screens: %s\n", error.c_str());
    return 1;
  }
  AppContext context;
  // Messages are printed, not shown: nothing waits for a click.
  context.notifier.message = [](QWidget*, const QString& text, MessageIcon) {
    std::fprintf(stderr, "zd573-screens: message: %s\n", qPrintable(text));
  };
  context.exitProgram = [](int) {};
  for (const QString& language : {QStringLiteral("English"), QStringLiteral("TChinese")}) Walk(context, language);
  return failures == 0 ? 0 : 1;
}

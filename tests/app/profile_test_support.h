#pragma once
// What the tests of settings files in the window share: the main window with
// the simulated tracker logged in, a file loaded through the menu, and the
// next tracker plugged in on the same port.
#include <QtTest>

#include <memory>

#include "app/CZD573_UtilityDlg.h"
#include "app/ProfileMenu.h"
#include "controls/CGdipButton.h"
#include "pages/LoginPage.h"
#include "pages/ProfileReviewSheet.h"
#include "page_test_support.h"

namespace zd573::test {

inline constexpr int kProfileWait = 30000;

// The main window watching the fake device tree, its tracker logged in with "4071".
inline std::unique_ptr<CZD573_UtilityDlg> LoggedIn(ShellEnv& env) {
  using Dlg = CZD573_UtilityDlg;
  auto w = std::make_unique<Dlg>(env.Context());
  w->WatchDeviceDirectory(QString::fromStdString(env.Tree().DevRoot().string()));
  w->show();
  [&] {
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kProfileWait);
    QVERIFY(!w->Files()->LoadButton()->isVisible());
    QTest::mouseClick(w->Button(Dlg::kLoginButton), Qt::LeftButton);
    auto* login = qobject_cast<LoginPage*>(w->OpenSheet());
    QVERIFY(login);
    login->PasswordEdit()->setText(QStringLiteral("4071"));
    QTest::mouseClick(login->ConfirmButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadCorrect), kProfileWait);
  }();
  return w;
}

// Loads `text` as a settings file through the menu's button.
inline ProfileReviewSheet* LoadFile(ShellEnv& env, CZD573_UtilityDlg& w, const QByteArray& text) {
  env.WriteFile(QStringLiteral("load.ini"), text);
  env.Context().notifier.openFile = [&env](QWidget*, const QString&, const QString&) {
    return env.Path(QStringLiteral("load.ini"));
  };
  QTest::mouseClick(w.Files()->LoadButton(), Qt::LeftButton);
  return qobject_cast<ProfileReviewSheet*>(w.OpenSheet());
}

// Unplugs the tracker on ttyACM0 (`plugged`, stopped) and plugs in a new one
// with `imei` and `password` there, which `plugged` then names.
inline std::unique_ptr<sim::Simulator> PlugNext(ShellEnv& env, sim::Simulator*& plugged, const char* imei,
                                                const char* password = "4071",
                                                sim::Options options = ShellEnv::FastOptions()) {
  auto tracker = std::make_unique<sim::Simulator>(options);
  tracker->SetValue("B2", imei);
  tracker->SetValue("OU", password);
  std::string error;
  if (!tracker->Start(&error)) qWarning("simulator: %s", error.c_str());
  env.Tree().Unplug("ttyACM0");
  plugged->Stop();
  plugged = tracker.get();
  QTest::qWait(200);
  [&] { QVERIFY(env.Tree().Plug("ttyACM0", tracker->SlavePath())); }();
  return tracker;
}

}  // namespace zd573::test

#include "app/CZD573_UtilityApp.h"

#include <QApplication>

#include <cstdio>
#include <memory>

#include "app/CZD573_UtilityDlg.h"
#include "app/StopSignals.h"
#include "controls/CGdiPlusBitmap.h"
#include "device/device_port.h"
#include "frame/AppContext.h"
#include "settings/language.h"

namespace zd573 {

Expected<CZD573_UtilityApp::Options> CZD573_UtilityApp::ParseArguments(const QStringList& arguments) {
  Options options;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--demo")) {
      options.demo = true;
    } else if (a == QLatin1String("--port")) {
      if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) return Error{"--port needs a path"};
      options.port = arguments[++i].toStdString();
    } else if (a.startsWith(QLatin1String("--port="))) {
      options.port = a.mid(7).toStdString();
      if (options.port.empty()) return Error{"--port needs a path"};
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      options.help = true;
    } else if (a == QLatin1String("--version")) {
      options.version = true;
    } else {
      return Error{"Unknown option " + a.toStdString()};
    }
  }
  if (options.demo && !options.port.empty()) return Error{"--demo and --port cannot be used together"};
  return options;
}

int CZD573_UtilityApp::Run(int argc, char** argv, const DemoStarter& startDemo) {
  // The command line first, so --help and mistakes need no display.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  Expected<Options> options = ParseArguments(arguments);
  if (!options) {
    std::fprintf(stderr, "zd573-utility: %s\n%s", options.error().c_str(), kUsage);
    return 2;
  }
  if (options->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options->version) {
    std::printf("zd573-utility %s\n", ZD573_VERSION);
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zd573-utility"));
  // Lets a Wayland dock match the window to the installed desktop entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.zd573.utility"));
  const std::unique_ptr<QObject> stopSignals = CatchStopSignals();

  // The simulated tracker must be in place before the first search.
  std::shared_ptr<void> demo;
  if (options->demo) {
    std::string error;
    demo = startDemo ? startDemo(&error) : nullptr;
    if (!demo) {
      std::fprintf(stderr, "zd573-utility: %s\n", error.c_str());
      return 1;
    }
  }

  AppContext context;
  SetImageFailureNotifier([&context](QWidget* parent, const QString& text) {
    // The one fixed text of the picture loader, in the user's language.
    context.ShowMessage(parent, context.Text("STR_GLOBAL_IMAGEFAILED", text.toStdString()), MessageIcon::None);
  });
  int code = 0;
  {
    CZD573_UtilityDlg window(context);
    if (!options->port.empty()) window.SetFixedPort(options->port);
    window.WatchDeviceDirectory(QString::fromStdString(DevRoot()));
    window.show();
    // A settings or language file refused at start is told once, naming it and why.
    for (const std::string& refusal : settings::RefusedStartupFiles()) {
      QTimer::singleShot(0, &window, [&context, &window, why = QString::fromStdString(refusal)] {
        context.ShowMessage(&window, context.Text("STR_GLOBAL_FILENOTREAD").replace(QStringLiteral("%1"), why),
                            MessageIcon::Warning);
      });
    }
    code = QApplication::exec();
  }
  SetImageFailureNotifier({});
  return code;
}

}  // namespace zd573

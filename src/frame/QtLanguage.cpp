#include "frame/QtLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include "settings/language.h"

namespace zd573 {

std::string LanguageLocaleName(const settings::TextLookup& lookup) { return lookup.Text("STR_GLOBAL_LOCALE"); }

void ApplyQtLanguage(const QLocale& locale) {
  QLocale::setDefault(locale);
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  // Owned by the application, so a translator never outlives it.
  static QPointer<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
  }
  if (locale.language() == QLocale::English || locale.language() == QLocale::C) return;
  auto* translator = new QTranslator(app);
  // qtbase holds every text of Qt's widgets and dialogs.
  if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
    installed = translator;
  } else {
    delete translator;
  }
}

}  // namespace zd573

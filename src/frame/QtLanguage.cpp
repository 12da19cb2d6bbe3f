#include "frame/QtLanguage.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QPointer>
#include <QRawFont>
#include <QTranslator>

#include "settings/language.h"

namespace zd573 {

namespace {

struct HanScript {
  QFontDatabase::WritingSystem system = QFontDatabase::Any;
  QLatin1StringView tag;  // how font families name their variant for it ("Noto Sans CJK TC")
};

HanScript HanScriptOf(const QLocale& locale) {
  switch (locale.language()) {
    case QLocale::Chinese:
      if (locale.script() == QLocale::SimplifiedHanScript) return {QFontDatabase::SimplifiedChinese, QLatin1StringView("SC")};
      return {QFontDatabase::TraditionalChinese, QLatin1StringView("TC")};
    case QLocale::Japanese: return {QFontDatabase::Japanese, QLatin1StringView("JP")};
    case QLocale::Korean: return {QFontDatabase::Korean, QLatin1StringView("KR")};
    default: return {};
  }
}

// A sans-serif family of the script's own variant, else the one Qt's fallback picks.
QString ScriptFamily(const QFont& plain, const HanScript& script) {
  for (const QString& family : QFontDatabase::families(script.system))
    if (family.contains(QLatin1StringView("Sans")) && !family.contains(QLatin1StringView("Mono")) &&
        family.endsWith(QLatin1Char(' ') + script.tag))
      return family;
  return QRawFont::fromFont(plain, script.system).familyName();
}

// Edits place their line by their first font. Chinese drawn by a fallback
// font sits high in a Latin font's box; with the script's font first, the
// taller box pushes every line down. So in such a language edits take the
// script's font first and lift their line by what its ascent adds: both
// scripts then sit where Latin text sits in English.
class EditLines final : public QObject {
 public:
  static EditLines& Instance(QCoreApplication* app) {
    static QPointer<EditLines> one;
    if (!one) {
      one = new EditLines(app);
      app->installEventFilter(one);
    }
    return *one;
  }
  void Use(const QLocale& locale) {
    static const QFont plain = QApplication::font("QLineEdit");
    QFont font = plain;
    lift_ = 0;
    if (const HanScript script = HanScriptOf(locale); script.system != QFontDatabase::Any) {
      const QString family = ScriptFamily(plain, script);
      if (!family.isEmpty()) {
        font.setFamilies({family, plain.family()});
        lift_ = qMax(0, qRound(QFontMetricsF(font).ascent() - QFontMetricsF(plain).ascent()));
      }
    }
    QApplication::setFont(font, "QLineEdit");
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Polish) {
      if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
        const QMargins m = edit->textMargins();
        edit->setTextMargins(m.left(), -lift_, m.right(), m.bottom());
      }
    }
    return false;
  }

 private:
  using QObject::QObject;
  int lift_ = 0;
};

// Qt 6 asks for the save dialog's file types ("Folder") under a context of
// its own, which translations made for earlier versions lack; they have the
// same words under the dialog's and the file model's contexts.
class MovedContexts final : public QTranslator {
 public:
  MovedContexts(QObject* parent, const QTranslator* qtbase) : QTranslator(parent), qtbase_(qtbase) {}
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char* disambiguation, int n) const override {
    if (!qtbase_ || qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    for (const char* older : {"QFileSystemModel", "QFileDialog"}) {
      for (const char* comment : {disambiguation, static_cast<const char*>(nullptr)}) {
        const QString text = qtbase_->translate(older, source, comment, n);
        if (!text.isEmpty()) return text;
      }
    }
    return {};
  }

 private:
  QPointer<const QTranslator> qtbase_;
};

}  // namespace

std::string LanguageLocaleName(const settings::TextLookup& lookup) { return lookup.Text("STR_GLOBAL_LOCALE"); }

void ApplyQtLanguage(const QLocale& locale) {
  QLocale::setDefault(locale);
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  if (qobject_cast<QApplication*>(app)) EditLines::Instance(app).Use(locale);
  // Owned by the application, so a translator never outlives it. The moved
  // contexts go first: it is asked after qtbase's own.
  static QPointer<QTranslator> installed[2];
  for (QPointer<QTranslator>& t : installed) {
    if (!t) continue;
    QCoreApplication::removeTranslator(t);
    delete t;
  }
  if (locale.language() == QLocale::English || locale.language() == QLocale::C) return;
  auto* translator = new QTranslator(app);
  // qtbase holds every text of Qt's widgets and dialogs.
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return;
  }
  installed[0] = new MovedContexts(app, translator);
  QCoreApplication::installTranslator(installed[0]);
  QCoreApplication::installTranslator(translator);
  installed[1] = translator;
}

}  // namespace zd573

#pragma once
// Qt's own texts (the standard buttons of message boxes, the save dialog) and
// its locale (AM/PM in time pickers) follow the language the user chose.
#include <QLocale>

#include <string>

namespace zd573 {

namespace settings {
class TextLookup;
}

// The locale a language's section names in STR_GLOBAL_LOCALE ("zh_TW").
std::string LanguageLocaleName(const settings::TextLookup& lookup);

// Makes `locale` the default and installs Qt's translations for it from
// Qt's translations folder (none are needed for English). Replaces what an
// earlier call installed.
void ApplyQtLanguage(const QLocale& locale);

}  // namespace zd573

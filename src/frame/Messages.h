#pragma once
// Errors of the core told in the user's language. The core names each message
// (Error::kind), the field or path it concerns and the values it quotes; here
// they become texts of the current language: a field by its name ("聯絡人 6 的
// 姓名", never its key), the common reasons of the system in the language's
// words, and for a port what to do about it. The command line keeps the
// core's English.
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

#include "common/result.h"

namespace zd573 {

class AppContext;

// Text that may hold a file's or a tracker's bytes, as a message shows it:
// each control character (an escape sequence's start, a NUL, a tab) as
// \xHH; line breaks stay.
QString EscapeControls(const QString& text);

// Puts args[0] in for %1, args[1] for %2, ... in one pass, so a value that
// holds "%2" stays as it is; every other '%' is shown as written.
QString FillIn(const QString& format, const QStringList& args);

// A text of the language file whose "\\n" are line breaks.
QString TextWithBreaks(const AppContext& context, std::string_view key);

// "Writing n of m", as a page's Apply and the settings file's review say how far a write is.
QString WritingText(const AppContext& context, int written, int total);

// How messages name the field of `key`.
QString FieldName(const AppContext& context, std::string_view key);

// How the alarm page shows a time of day: the half of the day in the user's language, then "hh:mm".
inline constexpr const char* kAlarmClockFormat = "AP hh:mm";
// A value the tracker keeps as a number, as its page names it, in the user's
// language, with the stored number after it ("高 (2)"); a text as it is.
QString ValueText(const AppContext& context, std::string_view key, const std::string& deviceBytes);

// How the settings list names a device text encoding.
QString CodePageName(const AppContext& context, int codePage);

// A common reason of the system in the current language; empty for others,
// which are shown in the system's own words.
QString SystemReason(const AppContext& context, int systemError);

// A text the core made as "<place>: <the system's reason>", or the reason
// alone, with a common reason in the language's words; else as it is.
QString SystemWords(const AppContext& context, const std::string& text);

// Why a write was not made: the backup before it could not be saved.
QString BackupFailedText(const AppContext& context, const Error& error);

// Everything a message box says about `error`: the message, the reason and,
// for a port, what to do.
QString ErrorText(const AppContext& context, const Error& error);

}  // namespace zd573

#include "frame/Messages.h"

#include <QTime>

#include <cerrno>
#include <cstring>
#include <string>

#include "device/device_job.h"
#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/log_download.h"
#include "device/page_table.h"
#include "device/page_values.h"
#include "device/profile.h"
#include "device/transactions.h"
#include "frame/AppContext.h"
#include "frame/TextConversion.h"
#include "logger/log_export.h"
#include "logger/log_record.h"
#include "settings/language.h"
#include "settings/text_encoding.h"

namespace zd573 {

namespace {

QString Arg(const Error& e, std::size_t i) { return i < e.args.size() ? FromUtf8(e.args[i]) : QString(); }

struct KeyText {
  std::string_view key;
  std::string_view text;
};

// The name of the settings a failed write was about, from the page the core named.
QString SettingsName(const AppContext& context, const QString& coreName) {
  const QByteArray name = coreName.toUtf8();
  const PageRow* row = PageNamed(std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
  return row ? context.Text(row->nameKey) : coreName;
}

QString CharacterName(const AppContext& context, const std::string& c) {
  if (c == ",") return context.Text("STR_GLOBAL_CHARCOMMA");
  if (c == "=") return context.Text("STR_GLOBAL_CHAREQUALS");
  if (c == "\r") return context.Text("STR_GLOBAL_CHARRETURN");
  if (c == "\n") return context.Text("STR_GLOBAL_CHARLINEBREAK");
  if (c == std::string(1, '\0')) return context.Text("STR_GLOBAL_CHARNUL");
  return context.Text("STR_GLOBAL_CHAREND");
}

QString Field(const AppContext& context, const Error& e) { return FieldName(context, e.field); }

// "place: reason", in the language's punctuation.
QString PlaceReason(const AppContext& context, const QString& place, const QString& reason) {
  return place.isEmpty() ? reason : FillIn(context.Text("STR_GLOBAL_PLACEREASON"), {place, reason});
}

// The system's reason for `e`, in the language's words when it is a common
// one, else as the system gave it (`fallback`).
QString ReasonOf(const AppContext& context, const Error& e, const QString& fallback) {
  const QString reason = SystemReason(context, e.systemError);
  return reason.isEmpty() ? fallback : reason;
}

// The fixed messages of the logger and the workers, which carry no kind.
QString FixedMessage(const AppContext& context, const std::string& message) {
  static constexpr KeyText kFixed[] = {
      {kOpenPortFailed, "STR_GLOBAL_OPENPORTFAILED"},
      {kUnableToCreateThread, "STR_GLOBAL_NOTHREAD"},
      {logger::kCantGenerateOutput, "STR_LOGGERPAGE_CANTGENERATE"},
      {logger::kCantOpenRawFile, "STR_LOGGERPAGE_CANTOPENRAW"},
      {logger::kErrorDataInRawFile, "STR_LOGGERPAGE_RAWDATAERROR"},
      {logger::kNoValidGpsData, "STR_LOGGERPAGE_NOVALIDDATA"},
      {kNoDataMessage, "STR_LOGGERPAGE_NODATA"},
      {kAbortMessage, "STR_LOGGERPAGE_ABORT"},
      {kTimeoutMessage, "STR_LOGGERPAGE_TIMEOUT"},
  };
  for (const auto& [text, key] : kFixed)
    if (message == text) return context.Text(key);
  return {};
}

// The text of a message the core named.
QString KindText(const AppContext& context, MessageKind kind, const Error& e) {
  switch (kind) {
    case MessageKind::None: break;
    // Which character a secret holds is not said.
    case MessageKind::BadCharacter:
      if (IsSecretKey(e.field)) return FillIn(context.Text("STR_GLOBAL_SECRETBADCHARACTER"), {Field(context, e)});
      return FillIn(context.Text("STR_GLOBAL_BADCHARACTER"),
                    {Field(context, e), CharacterName(context, e.args.empty() ? std::string() : e.args[0])});
    case MessageKind::NotEncodable:
      if (IsSecretKey(e.field))
        return FillIn(context.Text("STR_GLOBAL_SECRETNOTENCODABLE"),
                      {Field(context, e), CodePageName(context, Arg(e, 2).toInt())});
      return FillIn(context.Text("STR_GLOBAL_NOTENCODABLE"),
                    {Field(context, e), Arg(e, 0), Arg(e, 1), CodePageName(context, Arg(e, 2).toInt())});
    case MessageKind::TooLong:
      return FillIn(context.Text("STR_GLOBAL_TOOLONG"), {Field(context, e), Arg(e, 0), Arg(e, 1)});
    case MessageKind::OutOfRange:
      return FillIn(context.Text("STR_GLOBAL_OUTOFRANGE"), {Field(context, e), Arg(e, 0), Arg(e, 1), Arg(e, 2)});
    case MessageKind::PortOutOfRange:
      return FillIn(context.Text("STR_GLOBAL_PORTOUTOFRANGE"), {Field(context, e), Arg(e, 0)});
    case MessageKind::TooLarge:
      return FillIn(context.Text("STR_GLOBAL_TOOLARGE"), {Field(context, e), Arg(e, 0), Arg(e, 1)});
    case MessageKind::NotUtf8: return FillIn(context.Text("STR_GLOBAL_NOTUTF8"), {Field(context, e)});
    case MessageKind::NotANumber:
      return FillIn(context.Text("STR_GLOBAL_NOTANUMBER"), {Field(context, e), Arg(e, 0)});
    case MessageKind::OpenPortFailed: return context.Text("STR_GLOBAL_OPENPORTFAILED");
    case MessageKind::NoPortName: return context.Text("STR_GLOBAL_NOPORTNAME");
    case MessageKind::NotSerialPort:
      return PlaceReason(context, FromUtf8(e.field), context.Text("STR_GLOBAL_NOTSERIALPORT"));
    case MessageKind::PortInUse:
      return PlaceReason(context, FromUtf8(e.field), context.Text("STR_GLOBAL_PORTINUSE"));
    case MessageKind::PortNotOpen: return context.Text("STR_GLOBAL_PORTNOTOPEN");
    case MessageKind::PortDisconnected: return context.Text("STR_GLOBAL_PORTDISCONNECTED");
    case MessageKind::PortLeased: return context.Text("STR_GLOBAL_PORTLEASED");
    case MessageKind::WriteTimedOut: return context.Text("STR_GLOBAL_WRITETIMEOUT");
    case MessageKind::WriteFailedAfter:
      return FillIn(context.Text(Arg(e, 2) == QLatin1String("1") ? "STR_GLOBAL_WRITEFAILEDONE" : "STR_GLOBAL_WRITEFAILED"),
                    {SettingsName(context, Arg(e, 0)), Arg(e, 1), Arg(e, 2)});
    case MessageKind::Stopped: return context.Text("STR_GLOBAL_STOPPED");
    case MessageKind::ThreadFailed: return context.Text("STR_GLOBAL_NOTHREAD");
    case MessageKind::DownloadRequestFailed: return context.Text("STR_LOGGERPAGE_REQUESTFAILED");
    case MessageKind::ReadStopped:
      return FillIn(context.Text(e.code == ErrorCode::Disconnected ? "STR_MAINPAGE_READGONE" : "STR_MAINPAGE_READSTALLED"),
                    {Arg(e, 0), Arg(e, 1)});
    case MessageKind::FileUnreadable: return FillIn(context.Text("STR_GLOBAL_CANNOTREAD"), {FromUtf8(e.field)});
    case MessageKind::ProfileTwice:
      return FillIn(context.Text("STR_PROFILE_TWICE"), {Arg(e, 0), Arg(e, 1), Arg(e, 2)});
    case MessageKind::ProfileTwoImeis: return FillIn(context.Text("STR_PROFILE_TWOIMEIS"), {Arg(e, 0)});
    case MessageKind::ProfileUnknownKey: return FillIn(context.Text("STR_PROFILE_UNKNOWNKEY"), {Arg(e, 0), Arg(e, 1)});
    case MessageKind::ProfileNoSection: return context.Text("STR_PROFILE_NOSECTION");
    case MessageKind::ProfileBadSection: return FillIn(context.Text("STR_PROFILE_BADSECTION"), {Arg(e, 0)});
    case MessageKind::ProfileReadOnlyKey:
      return FillIn(context.Text("STR_PROFILE_READONLYKEY"), {Arg(e, 0), Arg(e, 1)});
    case MessageKind::ProfileNotAFile: return context.Text("STR_PROFILE_NOTAFILE");
    case MessageKind::ProfileTooLarge: return FillIn(context.Text("STR_PROFILE_TOOLARGE"), {Arg(e, 0)});
    case MessageKind::FileUnwritable:
      return FillIn(context.Text("STR_GLOBAL_CANNOTWRITE"),
                    {FromUtf8(e.field), e.args.empty() ? ReasonOf(context, e, FromUtf8(std::strerror(e.systemError)))
                                                       : SystemWords(context, e.args[0])});
  }
  return {};
}

// The common reasons, each with its text in the language file; also for
// recognising them at the end of a text the core made.
struct CommonError {
  int number;
  const char* key;
};
constexpr CommonError kCommonErrors[] = {
    {ENOENT, "STR_GLOBAL_ENOENT"}, {EACCES, "STR_GLOBAL_EACCES"}, {EPERM, "STR_GLOBAL_EPERM"},
    {EBUSY, "STR_GLOBAL_EBUSY"},   {EAGAIN, "STR_GLOBAL_EAGAIN"}, {EIO, "STR_GLOBAL_EIO"},
    {ENXIO, "STR_GLOBAL_ENXIO"},   {ENODEV, "STR_GLOBAL_ENODEV"}, {ENOSPC, "STR_GLOBAL_ENOSPC"},
    {EROFS, "STR_GLOBAL_EROFS"},   {EISDIR, "STR_GLOBAL_EISDIR"}, {ENOTDIR, "STR_GLOBAL_ENOTDIR"},
    {EINVAL, "STR_GLOBAL_EINVAL"}};

// A reason the core wrote as " is read-only" after a path (the export
// writers'), or as the system gave it, in the language's words.
QString PlainDetail(const AppContext& context, const std::string& detail) {
  const QString text = FromUtf8(detail);
  const QString readOnly = QStringLiteral(" is read-only");
  if (text.endsWith(readOnly))
    return context.Text("STR_LOGGERPAGE_READONLY").replace(QStringLiteral("%s"), text.chopped(readOnly.size()));
  return SystemWords(context, detail);
}

QString Headline(const AppContext& context, const Error& e) {
  if (e.kind != MessageKind::None) return KindText(context, e.kind, e);
  if (QString fixed = FixedMessage(context, e.message); !fixed.isEmpty()) return fixed;
  // A failed write says only the system's words.
  if (e.detailKind == MessageKind::None && e.detail.empty()) return ReasonOf(context, e, FromUtf8(e.message));
  return FromUtf8(e.message);
}

QString Reason(const AppContext& context, const Error& e) {
  // A write's own message after "failed after n of m", a port's reason after
  // "Unable to open COM-port", a file's after what could not be saved.
  if (e.detailKind != MessageKind::None) return KindText(context, e.detailKind, e);
  // A file that cannot be written is named with the reason in the message itself.
  if (e.detail.empty() || e.kind == MessageKind::FileUnwritable) return {};
  if (e.systemError != 0 && e.kind != MessageKind::None) {
    const QString reason = SystemReason(context, e.systemError);
    // The message named the file already; a port is named with its reason.
    if (!reason.isEmpty())
      return e.kind == MessageKind::FileUnreadable ? reason : PlaceReason(context, FromUtf8(e.field), reason);
  }
  return PlainDetail(context, e.detail);
}

QString Advice(const AppContext& context, ErrorCode code) {
  const std::string_view english = PortAdvice(code);
  if (english.empty()) return {};
  switch (code) {
    case ErrorCode::Permission: return context.Text("STR_GLOBAL_ADVICEPERMISSION", english);
    case ErrorCode::Busy: return context.Text("STR_GLOBAL_ADVICEBUSY", english);
    default: return context.Text("STR_GLOBAL_ADVICEPLUGGEDIN", english);
  }
}

}  // namespace

QString EscapeControls(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u < 0x20 && u != u'\n') || u == 0x7F)
      out += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
    else
      out += c;
  }
  return out;
}

QString FillIn(const QString& format, const QStringList& args) {
  QString out;
  out.reserve(format.size());
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar next = i + 1 < format.size() ? format[i + 1] : QChar();
    const int n = next.digitValue();
    if (format[i] == QLatin1Char('%') && n >= 1 && n <= args.size()) {
      out += args[n - 1];
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

QString TextWithBreaks(const AppContext& context, std::string_view key) {
  return FromUtf8(settings::ExpandLineBreakEscapes(context.Text(key).toStdString()));
}

QString WritingText(const AppContext& context, int written, int total) {
  const std::string format = context.Text("STR_GLOBAL_WRITING").toStdString();
  return FromUtf8(settings::FormatWithNumber(settings::FormatWithNumber(format, written), total));
}

QString BackupFailedText(const AppContext& context, const Error& error) {
  return FillIn(TextWithBreaks(context, "STR_PROFILE_BACKUPFAILED"), {ErrorText(context, error)});
}

QString FieldName(const AppContext& context, std::string_view key) {
  const std::optional<FieldNaming> naming = NameOfField(key);
  if (!naming) return FromUtf8(key);
  const QString name = context.Text(naming->text->textKey);
  return naming->number == 0 ? name : FillIn(name, {QString::number(naming->number)});
}

QString ValueText(const AppContext& context, std::string_view key, const std::string& deviceBytes) {
  const Wording wording{[&context](std::string_view textKey) { return context.Lookup().Text(textKey); },
                        [&context](int hour, int minute) {
                          return ToUtf8(context.Locale().toString(QTime(hour, minute),
                                                                  QString::fromLatin1(kAlarmClockFormat)));
                        }};
  if (const std::optional<std::string> words = ValueInWords(key, deviceBytes, wording)) return FromUtf8(*words);
  return context.FromDevice(deviceBytes);
}

QString CodePageName(const AppContext& context, int codePage) {
  std::string_view english;
  for (const settings::CodePage& page : settings::OfferedCodePages())
    if (page.number == codePage) english = page.displayName;
  const std::string key = "STR_SETUPPAGE_CODEPAGE" + std::to_string(codePage);
  if (english.empty()) return QString::number(codePage);
  return context.Text(key, english);
}

QString SystemReason(const AppContext& context, int systemError) {
  for (const CommonError& e : kCommonErrors)
    if (e.number == systemError) return context.Text(e.key);
  return {};
}

QString SystemWords(const AppContext& context, const std::string& text) {
  const QString all = FromUtf8(text);
  for (const CommonError& e : kCommonErrors) {
    const QString words = QString::fromLocal8Bit(std::strerror(e.number));
    if (all == words) return context.Text(e.key);
    if (all.endsWith(QStringLiteral(": ") + words))
      return PlaceReason(context, all.chopped(words.size() + 2), context.Text(e.key));
  }
  return all;
}

QString ErrorText(const AppContext& context, const Error& error) {
  QString text = Headline(context, error);
  if (const QString reason = Reason(context, error); !reason.isEmpty()) text += QStringLiteral("\n\n") + reason;
  if (const QString advice = Advice(context, error.code); !advice.isEmpty()) text += QStringLiteral("\n\n") + advice;
  return text;
}

}  // namespace zd573

#include "frame/StatusLine.h"

#include <QFontMetrics>

#include <array>
#include <string_view>

#include "controls/CLabel.h"
#include "device/device_port.h"
#include "frame/AppContext.h"
#include "frame/Messages.h"
#include "frame/TextConversion.h"
#include "settings/language.h"

namespace zd573 {

namespace {

constexpr std::array<std::string_view, 8> kDefaults{
    "Search Device...",     "IMEI: %s",         "Reading Setting ...", "Read Setting Correct",
    "Read Setting  Failure", "Password Correct", "Password Error",      "No Device"};

}  // namespace

void StatusLine::Put(const QString& text) {
  // A line too long for one row of the status font (a failure with its
  // reason) takes two rows of a smaller one rather than being cut.
  if (points_ == 0) points_ = label_->FontDescription().pointSize();
  label_->SetPointSize(points_);
  label_->setWordWrap(false);
  if (QFontMetrics(label_->FontDescription()).horizontalAdvance(text) > label_->width()) {
    label_->SetPointSize(points_ * 3 / 4);
    label_->setWordWrap(true);
  }
  label_->SetLabelText(text);
}

void StatusLine::LoadTexts() {
  texts_.clear();
  for (std::size_t i = 0; i < kDefaults.size(); ++i)
    texts_.push_back(context_.Text(settings::FamilyKey("STR_MAINPAGE_DEVICE%d", static_cast<int>(i) + 1), kDefaults[i]));
}

QString StatusLine::Text(int status) const {
  return status == identified_ ? IdentifiedLine(context_.StoredUserName(context_.Imei()))
                               : texts_.at(static_cast<std::size_t>(status));
}

QString StatusLine::IdentifiedLine(const std::string& name) const {
  // The name the user gave this device replaces the IMEI line.
  if (!name.empty()) return FromUtf8(name);
  const std::string format = texts_.at(static_cast<std::size_t>(identified_)).toStdString();
  return FromUtf8(settings::FormatWithText(format, context_.FromDevice(context_.Imei()).toStdString()));
}

void StatusLine::Show(int status) {
  if (status != identified_) {
    Put(Text(status));
    return;
  }
  // system.ini is asked once for the name, which the pages show too.
  const std::string name = context_.StoredUserName(context_.Imei());
  context_.deviceUserName = name.empty() ? std::string(settings::kNoDeviceUserName) : name;
  Put(IdentifiedLine(name));
}

void StatusLine::ShowProgress(Progress progress) {
  // How far the full read is, on the status line, so a screen reader says it too.
  std::string line = context_.Text("STR_MAINPAGE_READPROGRESS", "%d of %d settings read").toStdString();
  line = settings::FormatWithNumber(settings::FormatWithNumber(line, progress.done), progress.total);
  Put(texts_.at(static_cast<std::size_t>(reading_)) + QStringLiteral("  ") + FromUtf8(line));
}

void StatusLine::ShowBusy() { Put(context_.Text("STR_MAINPAGE_PORTBUSY", kPortBusyRetrying)); }

void StatusLine::Fail(QWidget* parent, const Error& error) {
  const QString text = ErrorText(context_, error);
  if (error.kind == MessageKind::ReadStopped)
    Put(label_->text() + QStringLiteral("  ") + text.section(QStringLiteral("\n\n"), 0, 0));
  context_.ShowError(parent, text);
}

}  // namespace zd573

#include "pages/InfoPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "device/page_values.h"
#include "pages/PasswordPage.h"
#include "frame/ChoiceList.h"
#include "frame/Messages.h"
#include "frame/Skin.h"
#include "settings/language.h"
#include "settings/paths.h"
#include "frame/TextConversion.h"

namespace zd573 {

namespace {

// Two columns: labels end 10 pixels before their controls.
constexpr int kLeftControl = 175;
constexpr int kRightControl = 515;
constexpr int kLeftLabel = 15;
constexpr int kRightLabel = 345;
constexpr int kLabelWidth = 150;
constexpr int kRightLabelWidth = 160;
constexpr int kEditWidth = 165;

}  // namespace

InfoPage::InfoPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow,
                PageLook{217, "STR_DEVICEPAGE_ABOUT",
                         "about us \"Device\" information", 300, kPagePanelColour}) {}

void InfoPage::CreatePageControls() {
  auto left = [this](int n, int y, const char* english) {
    return AddLabel(QRect(kLeftLabel, y, kLabelWidth, 20), settings::FamilyKey("STR_DEVICEPAGE_STR%d", n), english);
  };
  auto right = [this](int n, int y, const char* english) {
    return AddLabel(QRect(kRightLabel, y, kRightLabelWidth, 20), settings::FamilyKey("STR_DEVICEPAGE_STR%d", n),
                    english);
  };
  // The IMEI is shown in the frame's IMEI line only.
  left(1, 175, "Device IMEI:")->hide();

  left(2, 210, "Device Name:");
  name_ = AddEdit(QRect(kLeftControl, 210, kEditWidth, 20));
  right(6, 210, "Device Phone Number:");
  phone_ = AddEdit(QRect(kRightControl, 210, kEditWidth, 20));
  Fields().Bind("B1", phone_);

  left(3, 245, "Time Zone:");
  timeZone_ = AddList(QRect(kLeftControl, 245, kEditWidth, 22));
  for (int i = 0; i < kTimeZoneCount; ++i) timeZone_->addItem(QString::fromStdString(TimeZoneText(i)));
  right(7, 245, "Time Format:");
  timeFormat_ = AddList(QRect(kRightControl, 245, kEditWidth, 22));
  for (std::string_view format : WordsOfKey("F5")) timeFormat_->addItem(context_.Text(format));
  Fields().BindChoice("F5", timeFormat_);

  left(4, 280, "Daylight Saving:");
  daylight_ = AddCheck(QRect(kLeftControl, 278, 60, 25), Text("STR_GLOBAL_ON", "ON"));
  Fields().BindFlag("F6", daylight_);
  right(8, 280, "Date Format:");
  dateFormat_ = AddList(QRect(kRightControl, 280, kEditWidth, 22));
  // Shown in the current language; sent as the tracker's own text.
  for (int i = 0; i < 6; ++i)
    dateFormat_->addItem(Text(settings::FamilyKey("STR_DEVICEPAGE_DATEFORMAT%d", i + 1), DateFormatText(i)));

  left(5, 315, "Language:");
  language_ = AddList(QRect(kLeftControl, 315, kEditWidth, 22));
  language_->addItem(Text("STR_DEVICEPAGE_LANGUAGE1", "English"));
  language_->setCurrentIndex(-1);

  left(9, 380, "AutoKey Locks:");
  keyLock_ = AddCheck(QRect(kLeftControl, 378, 60, 25), Text("STR_GLOBAL_ON", "ON"));
  Fields().BindFlag("F7", keyLock_);

  AddLabel(QRect(0, 415, 265, 21), "STR_DEVICEPAGE_STR10", "Command and Software Password:");
  changePassword_ = AddTextButton(QRect(275, 415, 105, 21), Text("STR_DEVICEPAGE_CHANGEPASSWORD", "Change Password"));
  CLabel* limit = AddLabel(QRect(395, 415, 200, 21), "STR_DEVICEPAGE_STR11", "(Max 15byte)",
                           Qt::AlignLeft | Qt::AlignVCenter);
  limit->SetForeground(skin::kHintColour);
  // The password sheet opens over this page and returns to it.
  connect(changePassword_, &QAbstractButton::clicked, this,
          [this] { ShowSheet(this, new PasswordPage(context_, nullptr)); });

  left(12, 450, "SIM Card PIN Code:");
  pin_ = AddEdit(QRect(kLeftControl, 450, kEditWidth, 20));
  Fields().Bind("B0", pin_);
}

void InfoPage::FillFromSettings(const DeviceValues& values) {
  // An offset the list lacks (India's +5:30) is shown as it is and kept.
  const std::int32_t o6 = values.Number("O6");
  const int zone = TimeZoneIndex(o6);
  choice::Select(timeZone_, TimeZoneSeconds(zone) == o6 ? zone : -1, o6, QString::fromStdString(OffsetText(o6)));
  dateFormat_->setCurrentIndex(DateFormatIndex(values.Text("F4")));
  name_->setText(QString::fromStdString(context_.deviceUserName));
}

Status InfoPage::StoreControls(DeviceValues& edited) const {
  if (choice::ExtraValue(timeZone_)) {
    // The tracker's own offset, unchanged.
  } else if (auto seconds = TimeZoneSeconds(timeZone_->currentIndex())) {
    if (Status s = StoreUserNumber(edited, "O6", *seconds); !s) return s;
  }
  // With no format selected the tracker's own F4 goes back unchanged.
  if (const std::string_view format = DateFormatText(dateFormat_->currentIndex()); !format.empty())
    edited.SetText("F4", format);
  return {};
}

bool InfoPage::HasChanges(const DeviceValues&) const {
  return ToUtf8(name_->text()) != context_.deviceUserName;
}

Status InfoPage::BeforeApply() {
  const std::string typed = ToUtf8(name_->text());
  // An empty name keeps the stored one; an unchanged one is not written again.
  if (typed.empty() || typed == context_.deviceUserName) return {};
  const std::string name = settings::CleanDeviceUserName(typed);
  // The placeholder means no name: there is nothing to store for it.
  if (name.empty() || name == settings::kNoDeviceUserName || name == context_.deviceUserName) return {};
  if (Status s = settings::WriteDeviceUserName(context_.SystemIni(), context_.Imei(), name); !s) {
    // The tracker's settings still go out; only the name is not kept.
    context_.ShowFailure(this, Because(Error{Text("STR_DEVICEPAGE_NAMEFAILED", "The device name could not be saved")
                                                 .toStdString(),
                                             ErrorCode::File, s.error()},
                                       s.failure()));
    return {};
  }
  context_.deviceUserName = name;
  name_->setText(QString::fromStdString(name));
  ShowDeviceName(name);
  return {};
}

}  // namespace zd573

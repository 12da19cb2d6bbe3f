#pragma once
// The device information page: the local name the user gives the tracker,
// its phone number and SIM PIN, time zone, daylight saving, time and date
// format and the automatic key lock; and the way to the password page.
#include "frame/PageFrame.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zd573 {

class InfoPage : public PageFrame {
  Q_OBJECT

 public:
  InfoPage(AppContext& context, QWidget* mainWindow);

  QLineEdit* DeviceName() const { return name_; }
  QLineEdit* PhoneNumber() const { return phone_; }
  QLineEdit* PinCode() const { return pin_; }
  QComboBox* TimeZone() const { return timeZone_; }
  QComboBox* TimeFormat() const { return timeFormat_; }
  QComboBox* DateFormat() const { return dateFormat_; }
  QComboBox* Language() const { return language_; }
  QCheckBox* DaylightSaving() const { return daylight_; }
  QCheckBox* KeyLock() const { return keyLock_; }
  CGdipButton* ChangePassword() const { return changePassword_; }

 protected:
  void CreatePageControls() override;
  void FillFromSettings(const DeviceValues& values) override;
  Status StoreControls(DeviceValues& edited) const override;
  bool HasChanges(const DeviceValues& values) const override;
  // The name is kept by this program, not the tracker: it is saved first and
  // stays saved even when the tracker cannot be reached.
  Status BeforeApply() override;

 private:
  QLineEdit* name_ = nullptr;
  QLineEdit* phone_ = nullptr;
  QLineEdit* pin_ = nullptr;
  QComboBox* timeZone_ = nullptr;
  QComboBox* timeFormat_ = nullptr;
  QComboBox* dateFormat_ = nullptr;
  QComboBox* language_ = nullptr;
  QCheckBox* daylight_ = nullptr;
  QCheckBox* keyLock_ = nullptr;
  CGdipButton* changePassword_ = nullptr;
};

}  // namespace zd573

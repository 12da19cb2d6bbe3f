#pragma once
// The contacts and messages page: the phone book of 20 contacts (Va..Vt,
// VA..VT) on the Contacts tab; the six emergency numbers (G0..G5), the SMS
// report number (F0), the report interval (H2) and the SMS format (F2) on the
// SMS Message tab. One Apply sends both tabs as ten sentences.
#include <QPixmap>

#include <array>

#include "frame/PageFrame.h"

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace zd573 {

class MsgPage : public PageFrame {
  Q_OBJECT

 public:
  static constexpr int kContacts = 20;
  static constexpr int kEmergencyRows = 6;
  static constexpr int kNoRow = -1;
  enum class Tab { Contacts, Sms };

  MsgPage(AppContext& context, QWidget* mainWindow);

  // Contact rows and emergency rows are 0-based here.
  QLineEdit* NameEdit(int row) const { return names_.at(static_cast<std::size_t>(row)); }
  QLineEdit* PhoneEdit(int row) const { return phones_.at(static_cast<std::size_t>(row)); }
  QLineEdit* EmergencyName(int row) const { return emergencyNames_.at(static_cast<std::size_t>(row)); }
  QLineEdit* EmergencyPhone(int row) const { return emergencyPhones_.at(static_cast<std::size_t>(row)); }
  QLineEdit* ReportNumberEdit() const { return reportNumber_; }
  QLineEdit* IntervalEdit() const { return interval_; }
  QRadioButton* EngineerFormat() const { return engineer_; }
  QRadioButton* TextFormat() const { return textFormat_; }
  CLabel* ContactsHeader() const { return contactsHeader_; }
  CLabel* SmsHeader() const { return smsHeader_; }
  CGdipButton* UpButton() const { return up_; }
  CGdipButton* DownButton() const { return down_; }

  Tab ActiveTab() const { return tab_; }
  // The contact row that is editable, or kNoRow before any contact edit had the focus.
  int CurrentRow() const { return current_; }

  void ShowContacts();
  void ShowSms();
  // Moves the current contact one row up or down; nothing at either end or with no current row.
  void MoveUp();
  void MoveDown();

 protected:
  void CreatePageControls() override;
  std::vector<QWidget*> PageFocusOrder() const override;
  void FillFromSettings(const DeviceValues& values) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void CreateContactControls();
  void CreateSmsControls();
  void SetTab(Tab tab);
  void SelectRow(int row);
  void Exchange(int row, int other);
  void FillEmergencyNames();

  Tab tab_ = Tab::Contacts;
  int current_ = kNoRow;
  bool opened_ = false;
  SkinPicture contactsPanel_;
  SkinPicture smsPanel_;
  CLabel* contactsHeader_ = nullptr;
  CLabel* smsHeader_ = nullptr;

  // Contacts tab.
  std::array<QLineEdit*, kContacts> names_{};
  std::array<QLineEdit*, kContacts> phones_{};
  std::array<CLabel*, kContacts> numbers_{};
  std::array<CGdipButton*, 4> badges_{};
  std::array<CLabel*, 4> columnHeadings_{};
  CGdipButton* up_ = nullptr;
  CGdipButton* down_ = nullptr;

  // SMS Message tab.
  std::array<CLabel*, 7> smsLabels_{};
  std::array<QLineEdit*, kEmergencyRows> emergencyNames_{};
  std::array<QLineEdit*, kEmergencyRows> emergencyPhones_{};
  QLineEdit* reportNumber_ = nullptr;
  QLineEdit* interval_ = nullptr;
  QRadioButton* engineer_ = nullptr;
  QRadioButton* textFormat_ = nullptr;
  QButtonGroup* format_ = nullptr;
};

}  // namespace zd573

#pragma once
// The ringing and alarm page: the ring tone (FE), vibrate mode (F8) and
// volume (FB), Play and Stop of the ring tone, and the three clock alarms
// (mode XC/YC/ZC, time XB/YB/ZB, melody XA/YA/ZA, weekdays XD/YD/ZD).
#include <QPixmap>

#include <array>

#include "device/page_values.h"
#include "device/sentences.h"
#include "frame/PageFrame.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QTimeEdit;

namespace zd573 {

class RingPage : public PageFrame {
  Q_OBJECT

 public:
  RingPage(AppContext& context, QWidget* mainWindow);

  static constexpr int kAlarmCount = 3;
  static constexpr int kWeekdayCount = 7;
  // Alarm modes, the index of each in the mode lists.
  enum AlarmMode { kOff = 0, kOneTime = 1, kDaily = 2, kRecurrence = 3 };

  QComboBox* RingTone() const { return ringTone_; }
  // Ids 0 to 3 are the values.
  QButtonGroup* Vibrate() const { return vibrate_; }
  QButtonGroup* Volume() const { return volume_; }
  CGdipButton* PlayButton() const { return play_; }
  CGdipButton* StopButton() const { return stop_; }
  QComboBox* Mode(int row) const { return rows_.at(static_cast<std::size_t>(row)).mode; }
  QComboBox* Melody(int row) const { return rows_.at(static_cast<std::size_t>(row)).melody; }
  QTimeEdit* Time(int row) const { return rows_.at(static_cast<std::size_t>(row)).time; }
  // Day 0 is Monday, 6 Sunday.
  QCheckBox* Weekday(int row, int day) const {
    return rows_.at(static_cast<std::size_t>(row)).days.at(static_cast<std::size_t>(day));
  }
  // Whether the row's band is drawn as a weekday (recurrence) row.
  bool RecurrenceBand(int row) const { return rows_.at(static_cast<std::size_t>(row)).recurrence; }

 protected:
  void CreatePageControls() override;
  void FillFromSettings(const DeviceValues& values) override;
  Status StoreControls(DeviceValues& edited) const override;
  void paintEvent(QPaintEvent* event) override;

 private:
  struct AlarmRow {
    QComboBox* mode = nullptr;
    QComboBox* melody = nullptr;
    QTimeEdit* time = nullptr;
    std::array<QCheckBox*, kWeekdayCount> days{};
    // The picker shows the time of day only; the date and the exact value
    // the tracker gave travel with the row so an untouched time goes back as it came.
    AlarmDateTime shown;
    std::int32_t recordTime = 0;
    int recordMode = 0;
    bool recurrence = false;
  };

  void CreateAlarmRows(int melodies);
  // The mode a row stands for: the list's, or the record's when the list
  // has no item for it.
  int RowMode(const AlarmRow& row) const;
  void ApplyRowVisibility();

  QComboBox* ringTone_ = nullptr;
  QButtonGroup* vibrate_ = nullptr;
  QButtonGroup* volume_ = nullptr;
  CGdipButton* play_ = nullptr;
  CGdipButton* stop_ = nullptr;
  std::array<AlarmRow, kAlarmCount> rows_{};
  SkinPicture headerBand_;
  SkinPicture recurrenceBand_;
  SkinPicture plainBand_;
};

}  // namespace zd573

#include "pages/RingPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QKeyEvent>
#include <QTimeEdit>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "device/page_values.h"
#include "device/transactions.h"
#include "device/user_values.h"
#include "frame/Accessibility.h"
#include "frame/ChoiceList.h"
#include "frame/Messages.h"
#include "settings/language.h"

namespace zd573 {

namespace {

// Pictures of the alarm table.
constexpr int kHeaderBandId = 238;
constexpr int kRecurrenceBandId = 239;
constexpr int kPlainBandId = 240;

// The alarm table: a header band, then one band per alarm.
constexpr int kBandX = 64;
constexpr int kBandWidth = 670;
constexpr int kHeaderY = 281;
constexpr int kHeaderHeight = 36;
constexpr int kBandHeight = 54;
constexpr int kBandY[RingPage::kAlarmCount] = {317, 371, 426};
constexpr int kRowY[RingPage::kAlarmCount] = {333, 388, 443};
constexpr int kModeX = 85;
constexpr int kModeWidth = 155;
constexpr int kMelodyX = 250;
constexpr int kMelodyWidth = 70;
constexpr int kTimeX = 330;
constexpr int kTimeWidth = 110;
constexpr int kListHeight = 22;
constexpr int kHeadingPoints = 9;
// Weekday box k ends at x 484 + 40k: centred in the weekday panel of the
// recurrence band, clear of its border.
constexpr int kDaySize = 13;
constexpr int kDayRight = 484;
constexpr int kDayPitch = 40;
// The part of a band that changes with the mode: the weekday panel on the
// right and, with this skin, the marker at the band's left edge.
constexpr int kRepaintFrom = kBandX;
constexpr int kRepaintTo = 800;

// The four choices of the vibrate and volume rows.
constexpr int kChoiceX[4] = {190, 320, 450, 580};
constexpr int kChoiceWidth = 120;
constexpr int kChoiceHeight = 25;

// Row labels end just before the controls they name.
constexpr int kLabelX = 10;
constexpr int kLabelWidth = 160;

// The record keys of alarm r: "XC", "YB", "ZA", ...
std::string AlarmKey(int row, char field) { return std::string{static_cast<char>('X' + row), field}; }

QTime TimeOfDay(const AlarmDateTime& t) { return QTime(t.hour, t.minute, t.second); }

// A weekday box: the check box square alone, drawn whole in its 13 by 13
// pixels (the style's own box with its margin does not fit).
class DayBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.rect = rect();
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
  }
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// An alarm time that can be typed: digits go to the hour and minute whichever
// part the cursor is on (the AM/PM part comes first and takes no digits), and
// A or P picks the half of the day in any language.
class AlarmTimeEdit : public QTimeEdit {
 public:
  using QTimeEdit::QTimeEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString typed = event->text();
    if (typed.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      const QChar c = typed.front().toUpper();
      if (c == QLatin1Char('A') || c == QLatin1Char('P')) {
        const QTime now = time();
        const bool pm = c == QLatin1Char('P');
        if ((now.hour() >= 12) != pm) setTime(now.addSecs(pm ? 12 * 3600 : -12 * 3600));
        event->accept();
        return;
      }
      if (c.isDigit() && currentSection() == QDateTimeEdit::AmPmSection) setSelectedSection(QDateTimeEdit::HourSection);
    }
    QTimeEdit::keyPressEvent(event);
  }
};

}  // namespace

RingPage::RingPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow,
                PageLook{222, "STR_RINGPAGE_ABOUT",
                         "about us \"Ring tone && Clock Alarm\" information", 300, kPagePanelColour}) {}

void RingPage::CreatePageControls() {
  // The lists offer the melodies the tracker reported when the page opened.
  const int melodies = context_.Settings().Snapshot().Number("OZ");

  AddLabel(QRect(kLabelX, 175, kLabelWidth, kListHeight), "STR_RINGPAGE_STR1", "Ringtone:");
  ringTone_ = AddList(QRect(175, 175, 165, kListHeight));
  for (int i = 1; i <= melodies; ++i) ringTone_->addItem(QString::number(i));
  Fields().BindChoice("FE", ringTone_, 1, 0);
  play_ = AddTextButton(QRect(375, 175, 105, 21), Text("STR_RINGPAGE_PLAY", "Play"), 8);
  stop_ = AddTextButton(QRect(515, 175, 105, 21), Text("STR_RINGPAGE_STOP", "Stop"), 8);
  connect(play_, &QAbstractButton::clicked, this, [this] {
    // No ring tone selected plays melody 0, which the tracker takes as stop.
    SendDeviceQuery(BuildMelodyPlayQuery(ringTone_->currentIndex() + 1));
  });
  connect(stop_, &QAbstractButton::clicked, this, [this] { SendDeviceQuery(BuildMelodyStopQuery()); });

  // A row of buttons, one per word of the key's choice.
  auto choices = [this](int y, const char* labelKey, const char* labelEnglish, const char* key) {
    AddLabel(QRect(kLabelX, y, kLabelWidth, kChoiceHeight), labelKey, labelEnglish);
    auto* group = new QButtonGroup(this);
    const std::span<const std::string_view> words = WordsOfKey(key);
    for (std::size_t i = 0; i < words.size() && i < std::size(kChoiceX); ++i) {
      QRadioButton* button = AddRadio(QRect(kChoiceX[i], y, kChoiceWidth, kChoiceHeight), context_.Text(words[i]));
      group->addButton(button, static_cast<int>(i));
    }
    Fields().BindChoice(key, group);
    return group;
  };
  vibrate_ = choices(210, "STR_RINGPAGE_STR2", "Vibrate and ring:", "F8");
  volume_ = choices(245, "STR_RINGPAGE_STR3", "Ringing Volume:", "FB");

  // Column headings on the header band, a point smaller so that "Wed." and
  // its neighbours keep apart in their 40-pixel columns.
  std::vector<CLabel*> headings;
  auto heading = [this, &headings](const QRect& at, std::string_view key, std::string_view english,
                                   Qt::Alignment align) {
    headings.push_back(AddLabel(at, key, english, align));
    headings.back()->SetPointSize(kHeadingPoints);
  };
  const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
  heading(QRect(kModeX, kHeaderY, kModeWidth, kHeaderHeight), "STR_RINGPAGE_STR4", "Alam", left);
  heading(QRect(kMelodyX, kHeaderY, kTimeX - kMelodyX, kHeaderHeight), "STR_RINGPAGE_STR12", "Melody", left);
  heading(QRect(kTimeX, kHeaderY, kTimeWidth, kHeaderHeight), "STR_RINGPAGE_STR13", "Time", left);
  const std::span<const std::string_view> days = WordsOfKey("XD");
  for (int k = 0; k < kWeekdayCount; ++k) {
    const int centre = kDayRight + kDayPitch * k - kDaySize / 2;
    const std::string_view day = days[static_cast<std::size_t>(k)];
    heading(QRect(centre - kDayPitch / 2, kHeaderY, kDayPitch, kHeaderHeight), day, settings::BuiltInText(day),
            Qt::AlignCenter);
  }

  CreateAlarmRows(melodies);
  // Each control of an alarm row is named by its column and the alarm's number.
  for (int r = 0; r < kAlarmCount; ++r) {
    const AlarmRow& row = rows_[static_cast<std::size_t>(r)];
    NameGridCell(row.mode, headings[0]->text(), r + 1);
    NameGridCell(row.melody, headings[1]->text(), r + 1);
    NameGridCell(row.time, headings[2]->text(), r + 1);
    for (int k = 0; k < kWeekdayCount; ++k)
      NameGridCell(row.days[static_cast<std::size_t>(k)], headings[static_cast<std::size_t>(3 + k)]->text(), r + 1);
  }

  // A band that cannot be loaded has been reported; the table is drawn without it.
  headerBand_ = SkinPicture(kHeaderBandId);
  recurrenceBand_ = SkinPicture(kRecurrenceBandId);
  plainBand_ = SkinPicture(kPlainBandId);
  for (SkinPicture* band : {&headerBand_, &recurrenceBand_, &plainBand_}) band->Load(this);
}

void RingPage::CreateAlarmRows(int melodies) {
  for (int r = 0; r < kAlarmCount; ++r) {
    AlarmRow& row = rows_[static_cast<std::size_t>(r)];
    const int y = kRowY[r];
    row.mode = AddList(QRect(kModeX, y, kModeWidth, kListHeight));
    for (std::string_view mode : WordsOfKey(AlarmKey(r, 'C'))) row.mode->addItem(context_.Text(mode));
    Fields().BindChoice(AlarmKey(r, 'C'), row.mode);
    connect(row.mode, &QComboBox::currentIndexChanged, this, &RingPage::ApplyRowVisibility);

    row.melody = AddList(QRect(kMelodyX, y, kMelodyWidth, kListHeight));
    for (int i = 1; i <= melodies; ++i) row.melody->addItem(QString::number(i));

    row.time = new AlarmTimeEdit(this);
    row.time->setGeometry(kTimeX, y, kTimeWidth, kListHeight);
    row.time->setDisplayFormat(QString::fromLatin1(kAlarmClockFormat));
    row.time->setLocale(context_.Locale());  // AM/PM in the user's language

    for (int k = 0; k < kWeekdayCount; ++k) {
      auto* box = new DayBox(this);
      box->setGeometry(kDayRight + kDayPitch * k - kDaySize, y + (kListHeight - kDaySize) / 2, kDaySize, kDaySize);
      row.days[static_cast<std::size_t>(k)] = box;
    }
  }
}

void RingPage::FillFromSettings(const DeviceValues& values) {
  for (int r = 0; r < kAlarmCount; ++r) {
    AlarmRow& row = rows_[static_cast<std::size_t>(r)];
    row.recordMode = values.Number(AlarmKey(r, 'C'));
    row.recordTime = values.Number(AlarmKey(r, 'B'));
    row.shown = DecodeAlarmTime(AlarmTimeFromRecord(row.recordTime));
    row.time->setTime(TimeOfDay(row.shown));
    const int mask = values.Number(AlarmKey(r, 'D'));
    for (int k = 0; k < kWeekdayCount; ++k) row.days[static_cast<std::size_t>(k)]->setChecked((mask >> k) & 1);
    // A melody the list does not offer is shown as its number and kept; 0 is none.
    const int melody = values.Number(AlarmKey(r, 'A'));
    choice::RemoveExtra(row.melody);
    if (melody == 0) {
      row.melody->setCurrentIndex(-1);
    } else {
      choice::Select(row.melody, melody >= 1 && melody <= row.melody->count() ? melody - 1 : -1, melody,
                     QString::number(melody));
    }
  }
  ApplyRowVisibility();
}

int RingPage::RowMode(const AlarmRow& row) const {
  if (auto kept = choice::ExtraValue(row.mode)) return *kept;
  const int index = row.mode->currentIndex();
  return index >= 0 ? index : row.recordMode;
}

Status RingPage::StoreControls(DeviceValues& edited) const {
  for (int r = 0; r < kAlarmCount; ++r) {
    const AlarmRow& row = rows_[static_cast<std::size_t>(r)];
    // The mode binding has stored the list's mode (or kept the record's).
    const int mode = edited.Number(AlarmKey(r, 'C'));
    // An alarm that is off keeps what the tracker has for it.
    if (mode == kOff) continue;

    // An untouched picker sends the tracker's own value back, even one whose
    // date no longer encodes (after 2135), rather than 0.
    const QTime picked = row.time->time();
    std::int32_t time = row.recordTime;
    if (picked != TimeOfDay(row.shown)) {
      AlarmDateTime t = row.shown;
      t.hour = picked.hour();
      t.minute = picked.minute();
      t.second = picked.second();
      time = AlarmTimeToRecord(EncodeAlarmTime(t));
    }
    if (Status s = StoreUserNumber(edited, AlarmKey(r, 'B'), time); !s) return s;

    const int melody = row.melody->currentIndex();
    const std::int64_t chosen = choice::ExtraValue(row.melody).value_or(melody >= 0 ? melody + 1 : 0);
    if (Status s = StoreUserNumber(edited, AlarmKey(r, 'A'), chosen); !s) return s;

    // Only the weekday rule uses the boxes; the other modes keep the tracker's mask.
    if (mode == kRecurrence) {
      int mask = 0;
      for (int k = 0; k < kWeekdayCount; ++k)
        if (row.days[static_cast<std::size_t>(k)]->isChecked()) mask |= 1 << k;
      if (Status s = StoreUserNumber(edited, AlarmKey(r, 'D'), mask); !s) return s;
    }
  }
  return {};
}

void RingPage::ApplyRowVisibility() {
  for (int r = 0; r < kAlarmCount; ++r) {
    AlarmRow& row = rows_[static_cast<std::size_t>(r)];
    const int mode = RowMode(row);
    row.time->setVisible(mode != kOff);
    row.melody->setVisible(mode != kOff);
    for (QCheckBox* box : row.days) box->setVisible(mode == kRecurrence);
    row.recurrence = mode == kRecurrence;
    update(QRect(kRepaintFrom, kBandY[r], kRepaintTo - kRepaintFrom, kBandHeight));
  }
}

void RingPage::paintEvent(QPaintEvent* event) {
  PageFrame::paintEvent(event);
  QPainter p(this);
  if (const QPixmap& header = headerBand_.For(this); !header.isNull())
    p.drawPixmap(QRect(kBandX, kHeaderY, kBandWidth, kHeaderHeight), header);
  for (int r = 0; r < kAlarmCount; ++r) {
    const QPixmap& band = (rows_[static_cast<std::size_t>(r)].recurrence ? recurrenceBand_ : plainBand_).For(this);
    if (!band.isNull()) p.drawPixmap(QRect(kBandX, kBandY[r], kBandWidth, kBandHeight), band);
  }
}

}  // namespace zd573

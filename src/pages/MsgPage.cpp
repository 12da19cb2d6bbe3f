#include "pages/MsgPage.h"

#include <QButtonGroup>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>

#include <string>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include <QShortcut>

#include "device/page_values.h"
#include "frame/Accessibility.h"
#include "frame/Skin.h"
#include "settings/language.h"

namespace zd573 {

namespace {

// Pictures.
constexpr int kContactsPanel = 247;
constexpr int kSmsPanel = 248;
constexpr int kFirstBadge = 249;  // contacts 1 to 4: 249..252
constexpr int kUpNormal = 203;
constexpr int kUpPressed = 204;
constexpr int kDownNormal = 201;
constexpr int kDownPressed = 202;

// The tab panel; its two headers sit in the panel picture's tab shapes.
constexpr QPoint kPanelAt{64, 158};
const QRect kContactsHeader{64, 159, 118, 30};
const QRect kSmsHeader{186, 159, 118, 30};
const QColor kActiveHeader{0, 0, 0};
const QColor kInactiveHeader{255, 255, 255};

// Contacts tab: two columns of ten rows, each row a number (or badge), a
// name edit and a phone edit.
constexpr int kRowsPerColumn = 10;
constexpr int kColumnLeft = 68;
constexpr int kColumnStep = 350;
constexpr int kRowTop = 220;
constexpr int kRowStep = 25;
constexpr int kNameOffset = 22;
constexpr int kPhoneOffset = 145;
constexpr int kContactEditWidth = 120;
constexpr int kEditHeight = 23;
constexpr int kHeadingTop = 196;
// Up and Down at the panel's right edge, clear of the second phone column.
const QRect kUpAt{685, 278, 47, 47};
const QRect kDownAt{685, 338, 47, 47};

// SMS Message tab: the emergency block on the left, the report block on the right.
constexpr int kSmsNumberLeft = 80;
constexpr int kSmsNameLeft = 104;
constexpr int kSmsPhoneLeft = 223;
constexpr int kSmsEditWidth = 115;
constexpr int kSmsRowTop = 250;
constexpr int kReportLeft = 420;
constexpr int kSmsValueLeft = 555;

struct SmsLabel {
  QRect at;
  const char* english;
  int points;
};
// STR_MSGSPAGE_STRSMS1..7, in key order.
const SmsLabel kSmsLabels[] = {
    {{80, 198, 300, 24}, "Emergency Message", skin::kCaptionPoints},
    {{400, 198, 300, 24}, "SMS Report", skin::kCaptionPoints},
    {{kSmsNameLeft, 226, kSmsEditWidth, 20}, "Name", skin::kLabelPoints},
    {{kSmsPhoneLeft, 226, kSmsEditWidth, 20}, "Phone Numbers", skin::kLabelPoints},
    {{kReportLeft, 226, 200, 20}, "Phone Numbers", skin::kLabelPoints},
    {{kReportLeft, 290, 130, kEditHeight}, "Report Interval:", skin::kLabelPoints},
    {{kReportLeft, 325, 130, kEditHeight}, "SMS Format:", skin::kLabelPoints},
};

// STR_MSGSPAGE_STRMSG1..4: the name headings left and right, then the phone headings.
constexpr const char* kHeadingDefaults[] = {"Name", "Name", "Phone Numbers", "Phone Numbers"};

QPoint ContactCell(int row) {
  return {kColumnLeft + row / kRowsPerColumn * kColumnStep, kRowTop + row % kRowsPerColumn * kRowStep};
}

QRect NumberRect(QPoint cell) { return {cell.x(), cell.y(), 20, kEditHeight}; }

std::string ContactKey(char first, int row) { return std::string{'V', static_cast<char>(first + row)}; }


}  // namespace

MsgPage::MsgPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow,
                PageLook{220, "STR_MSGPAGE_ABOUT",
                         "about us \"Contacts && Send Message Setting\" information", 500, kMessagePanelColour, 218}) {}

void MsgPage::CreatePageControls() {
  // The panels keep their transparent corners; a failed load is told the way every page picture's is.
  contactsPanel_ = SkinPicture(kContactsPanel, SkinPicture::Backing::Transparent);
  smsPanel_ = SkinPicture(kSmsPanel, SkinPicture::Backing::Transparent);
  contactsPanel_.Load(this);
  smsPanel_.Load(this);

  auto header = [this](const QRect& at, std::string_view key, std::string_view english) {
    auto* h = new CLabel(this);
    h->setGeometry(at);
    skin::StyleLabel(h, kInactiveHeader, skin::kCaptionPoints);
    h->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    h->SetLabelText(Text(key, english));
    h->setCursor(Qt::PointingHandCursor);
    // A press tells the page; nothing is opened.
    h->MakeLink(true, true);
    return h;
  };
  contactsHeader_ = header(kContactsHeader, "STR_MSGSPAGE_CONTACTS", "Contacts");
  smsHeader_ = header(kSmsHeader, "STR_MSGSPAGE_SMS", "SMS Message");
  connect(contactsHeader_, &CLabel::notify, this, [this] { ShowContacts(); });
  connect(smsHeader_, &CLabel::notify, this, [this] { ShowSms(); });
  MakeTabRow(this, {contactsHeader_, smsHeader_}, [this](int i) { i == 0 ? ShowContacts() : ShowSms(); },
             [this] { return tab_ == Tab::Contacts ? 0 : 1; });

  CreateContactControls();
  CreateSmsControls();
}

void MsgPage::CreateContactControls() {
  for (int i = 0; i < 4; ++i) {
    const int x = kColumnLeft + i % 2 * kColumnStep + (i < 2 ? kNameOffset : kPhoneOffset);
    columnHeadings_[static_cast<std::size_t>(i)] =
        AddLabel(QRect(x, kHeadingTop, kContactEditWidth, 20), settings::FamilyKey("STR_MSGSPAGE_STRMSG%d", i + 1),
                 kHeadingDefaults[i], Qt::AlignLeft | Qt::AlignVCenter);
  }
  for (int row = 0; row < kContacts; ++row) {
    const auto r = static_cast<std::size_t>(row);
    const QPoint cell = ContactCell(row);
    numbers_[r] = AddLabel(NumberRect(cell), {}, {}, Qt::AlignCenter);
    numbers_[r]->SetPointSize(9);
    numbers_[r]->SetLabelText(QString::number(row + 1));
    names_[r] = AddEdit(QRect(cell.x() + kNameOffset, cell.y(), kContactEditWidth, kEditHeight));
    phones_[r] = AddEdit(QRect(cell.x() + kPhoneOffset, cell.y(), kContactEditWidth, kEditHeight));
    Fields().Bind(ContactKey('a', row), names_[r]);
    Fields().Bind(ContactKey('A', row), phones_[r]);
    names_[r]->installEventFilter(this);
    phones_[r]->installEventFilter(this);
  }
  // Each field is named by its column and the contact's number: "Name 12".
  for (int row = 0; row < kContacts; ++row) {
    const std::size_t left = row < kRowsPerColumn ? 0 : 1;
    NameGridCell(names_[static_cast<std::size_t>(row)], columnHeadings_[left]->text(), row + 1);
    NameGridCell(phones_[static_cast<std::size_t>(row)], columnHeadings_[left + 2]->text(), row + 1);
  }
  for (int i = 0; i < 4; ++i) {
    const QPoint cell = ContactCell(i);
    CGdipButton* badge =
        skin::MakeButton(this, kFirstBadge + i, kFirstBadge + i, QRect(cell.x(), cell.y() + 1, 20, 20));
    badge->setCursor(Qt::ArrowCursor);
    MarkDecorative(badge);
    badges_[static_cast<std::size_t>(i)] = badge;
  }
  up_ = skin::MakeButton(this, kUpNormal, kUpPressed, kUpAt);
  down_ = skin::MakeButton(this, kDownNormal, kDownPressed, kDownAt);
  // The focus stays in the contact's edit, so typing goes on after a move.
  up_->setFocusPolicy(Qt::NoFocus);
  down_->setFocusPolicy(Qt::NoFocus);
  connect(up_, &QAbstractButton::clicked, this, &MsgPage::MoveUp);
  connect(down_, &QAbstractButton::clicked, this, &MsgPage::MoveDown);
  up_->SetSpokenName(Text("STR_MSGSPAGE_UP", "Move up"));
  down_->SetSpokenName(Text("STR_MSGSPAGE_DOWN", "Move down"));
  // From the keyboard: Alt+Up and Alt+Down move the contact being edited.
  for (auto [key, move] : {std::pair{Qt::Key_Up, &MsgPage::MoveUp}, std::pair{Qt::Key_Down, &MsgPage::MoveDown}}) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | key), this);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, move);
  }
  for (std::size_t i = 0; i < badges_.size(); ++i) badges_[i]->SetSpokenName(QString::number(i + 1));
}

void MsgPage::CreateSmsControls() {
  for (std::size_t i = 0; i < smsLabels_.size(); ++i) {
    const SmsLabel& l = kSmsLabels[i];
    smsLabels_[i] = AddLabel(l.at, settings::FamilyKey("STR_MSGSPAGE_STRSMS%d", static_cast<int>(i) + 1), l.english,
                             Qt::AlignLeft | Qt::AlignVCenter);
    smsLabels_[i]->SetPointSize(l.points);
  }
  for (int k = 0; k < kEmergencyRows; ++k) {
    const auto r = static_cast<std::size_t>(k);
    const int y = kSmsRowTop + k * kRowStep;
    emergencyNames_[r] = AddEdit(QRect(kSmsNameLeft, y, kSmsEditWidth, kEditHeight));
    // A display, not a field: it shows whose number the row holds.
    emergencyNames_[r]->setReadOnly(true);
    emergencyNames_[r]->setFocusPolicy(Qt::NoFocus);
    QPalette shown = emergencyNames_[r]->palette();
    shown.setColor(QPalette::Base, Look().panelColour);
    emergencyNames_[r]->setPalette(shown);
    emergencyPhones_[r] = AddEdit(QRect(kSmsPhoneLeft, y, kSmsEditWidth, kEditHeight));
    Fields().Bind(std::string{'G', static_cast<char>('0' + k)}, emergencyPhones_[r]);
  }
  for (int k = 0; k < kEmergencyRows; ++k) {
    NameGridCell(emergencyPhones_[static_cast<std::size_t>(k)], smsLabels_[0]->text(), k + 1);
    NameGridCell(emergencyNames_[static_cast<std::size_t>(k)], smsLabels_[2]->text(), k + 1);
  }
  reportNumber_ = AddEdit(QRect(kReportLeft, kSmsRowTop, kSmsEditWidth, kEditHeight));
  reportNumber_->setAccessibleName(SpokenLabel(smsLabels_[1]->text()));
  Fields().Bind("F0", reportNumber_);
  interval_ = AddEdit(QRect(kSmsValueLeft, 290, 70, kEditHeight));
  Fields().Bind("H2", interval_);
  interval_->setAccessibleName(SpokenLabel(smsLabels_[5]->text()));
  const std::span<const std::string_view> formats = WordsOfKey("F2");
  engineer_ = AddRadio(QRect(kSmsValueLeft, 325, 170, kEditHeight), context_.Text(formats[0]));
  textFormat_ = AddRadio(QRect(kSmsValueLeft, 350, 170, kEditHeight), context_.Text(formats[1]));
  format_ = new QButtonGroup(this);
  format_->addButton(engineer_, 0);
  format_->addButton(textFormat_, 1);
  Fields().BindChoice("F2", format_);
}

void MsgPage::FillFromSettings(const DeviceValues&) {
  if (opened_) return;
  opened_ = true;
  // Through SMS Message into Contacts: every control starts in its Contacts
  // state and the emergency rows already name their contacts.
  ShowSms();
  ShowContacts();
}

std::vector<QWidget*> MsgPage::PageFocusOrder() const {
  // The tabs, then each contact in its number's order (the columns read
  // down), then the emergency rows, then the report block.
  std::vector<QWidget*> chain{contactsHeader_, smsHeader_};
  for (int row = 0; row < kContacts; ++row) {
    chain.push_back(names_[static_cast<std::size_t>(row)]);
    chain.push_back(phones_[static_cast<std::size_t>(row)]);
  }
  for (QLineEdit* e : emergencyPhones_) chain.push_back(e);
  chain.insert(chain.end(), {reportNumber_, interval_, engineer_, textFormat_});
  return chain;
}

void MsgPage::ShowContacts() {
  if (tab_ != Tab::Contacts) SetTab(Tab::Contacts);
}

void MsgPage::ShowSms() {
  if (tab_ != Tab::Sms) SetTab(Tab::Sms);
}

void MsgPage::SetTab(Tab tab) {
  tab_ = tab;
  const bool contacts = tab == Tab::Contacts;
  contactsHeader_->SetForeground(contacts ? kActiveHeader : kInactiveHeader);
  smsHeader_->SetForeground(contacts ? kInactiveHeader : kActiveHeader);
  MarkSelectedTab({contactsHeader_, smsHeader_}, contacts ? 0 : 1);

  for (QLineEdit* e : names_) e->setVisible(contacts);
  for (QLineEdit* e : phones_) e->setVisible(contacts);
  for (CLabel* l : columnHeadings_) l->setVisible(contacts);
  for (CGdipButton* b : badges_) b->setVisible(contacts);
  up_->setVisible(contacts);
  down_->setVisible(contacts);

  for (CLabel* l : smsLabels_) l->setVisible(!contacts);
  for (QLineEdit* e : emergencyNames_) e->setVisible(!contacts);
  for (QLineEdit* e : emergencyPhones_) e->setVisible(!contacts);
  reportNumber_->setVisible(!contacts);
  interval_->setVisible(!contacts);
  engineer_->setVisible(!contacts);
  textFormat_->setVisible(!contacts);

  // The number labels serve both tabs: 1 to 6 number the emergency rows on
  // SMS Message; on Contacts 1 to 4 lie under their badges.
  for (int row = 0; row < kContacts; ++row) {
    CLabel* number = numbers_[static_cast<std::size_t>(row)];
    if (contacts) {
      number->setGeometry(NumberRect(ContactCell(row)));
      number->setVisible(row >= 4);
    } else if (row < kEmergencyRows) {
      number->setGeometry(NumberRect(QPoint(kSmsNumberLeft, kSmsRowTop + row * kRowStep)));
      number->setVisible(true);
    } else {
      number->setVisible(false);
    }
  }
  if (!contacts) FillEmergencyNames();
  update(QRect(kPanelAt, QSize(670, 325)));
}

void MsgPage::FillEmergencyNames() {
  // The contact that has the number, as the edits show it now: the first one
  // when two share it. An empty number names nobody, not a contact without one.
  for (int k = 0; k < kEmergencyRows; ++k) {
    const auto r = static_cast<std::size_t>(k);
    const QString phone = emergencyPhones_[r]->text();
    QString name;
    if (!phone.isEmpty()) {
      for (int row = 0; row < kContacts; ++row) {
        if (phones_[static_cast<std::size_t>(row)]->text() == phone) {
          name = names_[static_cast<std::size_t>(row)]->text();
          break;
        }
      }
    }
    emergencyNames_[r]->setText(name);
  }
}

bool MsgPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    for (int row = 0; row < kContacts; ++row) {
      const auto r = static_cast<std::size_t>(row);
      if (watched == names_[r] || watched == phones_[r]) {
        SelectRow(row);
        break;
      }
    }
  }
  return PageFrame::eventFilter(watched, event);
}

void MsgPage::SelectRow(int row) {
  current_ = row;
  for (int i = 0; i < kContacts; ++i) {
    const auto r = static_cast<std::size_t>(i);
    names_[r]->setReadOnly(i != row);
    phones_[r]->setReadOnly(i != row);
  }
}

void MsgPage::MoveUp() {
  if (current_ != kNoRow && current_ > 0) Exchange(current_, current_ - 1);
}

void MsgPage::MoveDown() {
  if (current_ != kNoRow && current_ < kContacts - 1) Exchange(current_, current_ + 1);
}

void MsgPage::Exchange(int row, int other) {
  const auto a = static_cast<std::size_t>(row);
  const auto b = static_cast<std::size_t>(other);
  const QString name = names_[a]->text();
  const QString phone = phones_[a]->text();
  names_[a]->setText(names_[b]->text());
  phones_[a]->setText(phones_[b]->text());
  names_[b]->setText(name);
  phones_[b]->setText(phone);
  // The selection moves with the contact, and so does the typing cursor.
  const bool inPhone = phones_[a]->hasFocus();
  const bool inName = names_[a]->hasFocus();
  SelectRow(other);
  if (inName) names_[b]->setFocus();
  if (inPhone) phones_[b]->setFocus();
}

void MsgPage::paintEvent(QPaintEvent* event) {
  PageFrame::paintEvent(event);
  const QPixmap& panel = (tab_ == Tab::Contacts ? contactsPanel_ : smsPanel_).For(this);
  if (!panel.isNull()) {
    QPainter p(this);
    p.drawPixmap(kPanelAt, panel);
  }
}

}  // namespace zd573

#include "pages/SetupPage.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QPainter>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "common/files.h"
#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Messages.h"
#include "frame/QtLanguage.h"
#include "frame/Accessibility.h"
#include "frame/Skin.h"
#include "frame/TextConversion.h"
#include "logger/log_archive.h"
#include "settings/language.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"

namespace zd573 {

namespace {

constexpr QPoint kPanelAt{10, 48};
const QRect kFieldLabelSmall{40, 104, 130, 26};
const QRect kFieldLabelLarge{32, 88, 386, 190};
const QColor kActiveTab{0, 0, 0};
const QColor kInactiveTab{255, 255, 255};

// Each language's item carries its section and the locale it names.
constexpr int kLocaleRole = Qt::UserRole + 1;

}  // namespace

SetupPage::SetupPage(AppContext& context, QWidget* mainWindow)
    : SkinnedDialog(context, mainWindow, QSize(450, 360), skin::kSetupBackground, skin::kSettingsIcon) {
  optionsPanel_ = SkinPicture(skin::kSetupOptionsPanel, SkinPicture::Backing::Transparent);
  aboutPanel_ = SkinPicture(skin::kSetupAboutPanel, SkinPicture::Backing::Transparent);

  SetTitle(context_.Text("STR_MAINPAGE_STR8", "Settings"));
  languageText_ = context_.Text("STR_SETUPPAGE_LANGUAGE", "Language:");
  aboutText_ = TextWithBreaks(context_, "STR_GLOBAL_ABOUT");
  // The version the command line prints, so a user can say which one they run.
  aboutText_ += QStringLiteral("\n\n") + context_.Text("STR_SETUPPAGE_VERSION", "Version %s")
                                             .replace(QStringLiteral("%s"), QStringLiteral(ZD573_VERSION));

  auto makeTab = [this](int id, int x, const QString& text) {
    auto* tab = new CLabel(this);
    tab->SetControlId(id);
    tab->setGeometry(kPanelAt.x() + x, kPanelAt.y() + 2, 104, 26);
    skin::StyleLabel(tab, kInactiveTab, skin::kCaptionPoints, true);
    tab->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    tab->SetLabelText(text);
    tab->setCursor(Qt::PointingHandCursor);
    return tab;
  };
  optionsTab_ = makeTab(kOptionsTab, 0, context_.Text("STR_SETUPPAGE_OPTIONS", "Options"));
  aboutTab_ = makeTab(kAboutTab, 108, context_.Text("STR_SETUPPAGE_ABOUT", "About"));
  // Clickable captions: the press tells this window, nothing is opened.
  optionsTab_->MakeLink(true, true);
  aboutTab_->MakeLink(true, true);
  connect(optionsTab_, &CLabel::notify, this, [this] { ShowOptions(); });
  connect(aboutTab_, &CLabel::notify, this, [this] { ShowAbout(); });
  MakeTabRow(this, {optionsTab_, aboutTab_}, [this](int i) { i == 0 ? ShowOptions() : ShowAbout(); },
             [this] { return mode_ == Mode::Options ? 0 : 1; });

  field_ = AddLabel(kFieldLabel, kFieldLabelSmall, languageText_);

  // The languages are the sections of the language file, each named in its
  // own words (else by its section), shown sorted; system.ini keeps the section.
  languages_ = new QComboBox(this);
  languages_->setObjectName(QStringLiteral("languages"));
  languages_->setGeometry(175, 104, 230, 28);
  struct Offered {
    QString shown, section;
    std::string locale;
  };
  std::vector<Offered> offered;
  for (const std::string& section : context_.Lookup().Languages()) {
    settings::TextLookup lookup(settings::LanguagesPath(), section);
    lookup.Load();  // one read of the file per language
    const std::string own = lookup.Text("STR_GLOBAL_LANGUAGENAME", section);
    offered.push_back({QString::fromStdString(own.empty() ? section : own), QString::fromStdString(section),
                       LanguageLocaleName(lookup)});
  }
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(offered.begin(), offered.end(),
                   [&collator](const auto& a, const auto& b) { return collator.compare(a.shown, b.shown) < 0; });
  for (const Offered& o : offered) {
    languages_->addItem(o.shown, o.section);
    languages_->setItemData(languages_->count() - 1, QString::fromStdString(o.locale), kLocaleRole);
  }
  languages_->setCurrentIndex(languages_->findData(QString::fromStdString(context_.Language())));

  // The encoding of texts sent to the device (names, numbers, passwords).
  codePageLabel_ = AddLabel(1112, QRect(40, 146, 130, 26),
                            context_.Text("STR_SETUPPAGE_CODEPAGE", "Device text:"));
  codePages_ = new QComboBox(this);
  codePages_->setObjectName(QStringLiteral("codePages"));
  codePages_->setGeometry(175, 146, 230, 28);
  const int current = context_.CodePage();
  for (const settings::CodePage& page : settings::OfferedCodePages()) {
    if (settings::IconvName(page.number).empty()) continue;
    codePages_->addItem(CodePageName(context_, page.number), page.number);
    if (page.number == current) codePages_->setCurrentIndex(codePages_->count() - 1);
  }
  followed_ = current;
  // The tracker's own encoding, like one chosen for all, does not follow the language.
  const settings::IniFile ini = context_.SystemIni();
  codePageChosen_ = settings::ChosenDeviceCodePage(ini) || settings::RememberedCodePage(ini, context_.Imei());
  connect(languages_, &QComboBox::currentIndexChanged, this, &SetupPage::FollowLanguage);

  // Every download kept per tracker: whether, and each tracker's to view or delete.
  archiveBox_ = new QCheckBox(context_.Text("STR_SETUPPAGE_ARCHIVE", "Keep every download in the archive"), this);
  archiveBox_->setGeometry(40, 186, 370, 26);
  archiveBox_->setChecked(logger::ArchiveEnabled(context_.SystemIni()));
  archiveLabel_ = AddLabel(1113, QRect(40, 220, 130, 26), context_.Text("STR_SETUPPAGE_ARCHIVES", "Archive:"));
  archives_ = new QComboBox(this);
  archives_->setObjectName(QStringLiteral("archives"));
  archives_->setGeometry(175, 220, 230, 28);
  auto textButton = [this](const QRect& at, const QString& caption) {
    CGdipButton* b = skin::MakeButton(this, skin::kTextButtonNormal, skin::kTextButtonPressed, at);
    b->SetCaption(caption);
    b->SetCaptionPointSize(9);
    b->SetCaptionColor(skin::kDialogTextColour);
    b->SetSpokenName(caption);
    return b;
  };
  viewArchive_ = textButton(QRect(175, 258, 105, 21), context_.Text("STR_SETUPPAGE_VIEWARCHIVE", "View"));
  deleteArchive_ = textButton(QRect(300, 258, 105, 21), context_.Text("STR_SETUPPAGE_DELETEARCHIVE", "Delete…"));
  connect(viewArchive_, &QAbstractButton::clicked, this, [this] {
    if (archives_->currentIndex() < 0) return;
    const QString imei = archives_->currentData().toString();
    reject();
    emit viewArchive(imei);
  });
  connect(deleteArchive_, &QAbstractButton::clicked, this, &SetupPage::DeleteArchive);
  ListArchives();

  ConfirmCaption()->SetLabelText(context_.Text("STR_GLOBAL_CONFIRM", "Confirm"));
  CancelCaption()->SetLabelText(context_.Text("STR_GLOBAL_CANCEL", "Cancel"));

  // Through About into Options, so every control starts in its Options state.
  mode_ = Mode::Options;
  SetMode(Mode::About);
  SetMode(Mode::Options);
}

void SetupPage::ShowOptions() {
  if (mode_ == Mode::About) SetMode(Mode::Options);
}

void SetupPage::ShowAbout() {
  if (mode_ == Mode::Options) SetMode(Mode::About);
}

void SetupPage::SetMode(Mode mode) {
  mode_ = mode;
  const bool options = mode == Mode::Options;
  optionsTab_->SetForeground(options ? kActiveTab : kInactiveTab);
  aboutTab_->SetForeground(options ? kInactiveTab : kActiveTab);
  MarkSelectedTab({optionsTab_, aboutTab_}, options ? 0 : 1);
  if (options) {
    field_->setWordWrap(false);
    field_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    field_->setGeometry(kFieldLabelSmall);
    field_->SetLabelText(languageText_);
  } else {
    field_->setWordWrap(true);
    field_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    field_->setGeometry(kFieldLabelLarge);
    field_->SetLabelText(aboutText_);
  }
  languages_->setVisible(options);
  codePageLabel_->setVisible(options);
  codePages_->setVisible(options);
  for (QWidget* w : std::initializer_list<QWidget*>{archiveBox_, archiveLabel_, archives_, viewArchive_, deleteArchive_})
    w->setVisible(options);
  ConfirmButton()->setVisible(options);
  ConfirmCaption()->setVisible(options);
  update();
}

std::string SetupPage::SelectedLanguage() const {
  // With no language selected (the current one is not in the file) it stays.
  return languages_->currentIndex() < 0 ? context_.Language() : languages_->currentData().toString().toStdString();
}

std::string SetupPage::SelectedLocale() const {
  if (languages_->currentIndex() < 0) return context_.LocaleName();
  return languages_->currentData(kLocaleRole).toString().toStdString();
}

void SetupPage::FollowLanguage() {
  if (codePageChosen_) return;
  if (codePages_->currentData().toInt() != followed_) return;  // the user picked one here
  followed_ = settings::DefaultDeviceCodePage(SelectedLocale());
  if (const int at = codePages_->findData(followed_); at >= 0) codePages_->setCurrentIndex(at);
}

void SetupPage::Confirm() {
  const std::string language = SelectedLanguage();
  const settings::IniFile ini = context_.SystemIni();
  // A read-only settings folder only means the choice lasts for this run.
  (void)settings::WriteCurrentLanguage(ini, language);
  if (codePages_->currentIndex() >= 0) {
    const int chosen = codePages_->currentData().toInt();
    // Only an encoding other than the one in force is a choice: the language's
    // own stays unwritten and follows a later change of language.
    if (chosen != settings::TrackerCodePage(ini, context_.Imei(), SelectedLocale())) {
      // The encoding is read back from the file: one that cannot be saved is not in force.
      if (Status s = settings::WriteDeviceCodePage(ini, chosen); !s)
        context_.ShowFailure(this, Because(Error{context_.Text("STR_SETUPPAGE_CODEPAGEFAILED",
                                                               "The text encoding could not be saved").toStdString(),
                                                 ErrorCode::File, s.error()},
                                           s.failure()));
    }
  }
  if (archiveBox_->isChecked() != logger::ArchiveEnabled(ini)) {
    if (Status s = ini.Write(settings::kSystemSection, logger::kArchiveKey, archiveBox_->isChecked() ? "1" : "0"); !s)
      context_.ShowFailure(this, s.failure());
  }
  context_.SetLanguage(language);
  emit languageChanged();
  accept();
}

void SetupPage::ListArchives() {
  archives_->clear();
  for (const std::string& imei : logger::ArchivedTrackers()) {
    const std::string name = context_.StoredUserName(imei);
    const QString id = QString::fromStdString(imei);
    archives_->addItem(name.empty() ? id : FromUtf8(name) + QStringLiteral(" (") + id + QLatin1Char(')'), id);
  }
  const bool any = archives_->count() > 0;
  if (!any) archives_->setPlaceholderText(context_.Text("STR_SETUPPAGE_NOARCHIVE", "No archive yet"));
  archives_->setEnabled(any);
  viewArchive_->SetDisabledState(!any);
  deleteArchive_->SetDisabledState(!any);
}

void SetupPage::DeleteArchive() {
  if (archives_->currentIndex() < 0) return;
  const QString imei = archives_->currentData().toString();
  const std::string path = logger::ArchivePath(imei.toStdString());
  // The downloads cannot be had again once the tracker's log was erased: No is what Enter means.
  if (!context_.AskYesNo(this,
                         FillIn(context_.Text("STR_SETUPPAGE_DELETEARCHIVEASK",
                                              "Delete every download kept in the archive of %1? It cannot be recovered."),
                                {archives_->currentText()}),
                         true))
    return;
  std::error_code ec;
  std::filesystem::remove(files::PathFromUtf8(path), ec);
  if (ec)
    context_.ShowError(this, FillIn(context_.Text("STR_SETUPPAGE_CANNOTDELETE", "Cannot delete %1: %2"),
                                    {QString::fromStdString(path), SystemWords(context_, ec.message())}));
  ListArchives();
  if (archives_->count() > 0) archives_->setFocus(Qt::OtherFocusReason);
  else archiveBox_->setFocus(Qt::OtherFocusReason);
}

void SetupPage::paintEvent(QPaintEvent* event) {
  SkinnedDialog::paintEvent(event);
  const QPixmap& panel = (mode_ == Mode::Options ? optionsPanel_ : aboutPanel_).For(this);
  if (!panel.isNull()) {
    QPainter p(this);
    p.drawPixmap(kPanelAt, panel);
  }
}

}  // namespace zd573

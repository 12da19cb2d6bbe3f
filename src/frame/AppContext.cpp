#include "frame/AppContext.h"

#include <QApplication>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>
#include <QWindow>

#include "device/device_port.h"
#include "device/held_port.h"
#include "device/profile.h"
#include "device/write_backup.h"
#include "frame/Accessibility.h"
#include "frame/Messages.h"
#include "frame/QtLanguage.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"
#include "frame/TextConversion.h"

namespace zd573 {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

Notifier MessageBoxNotifier(std::function<QString()> programName) {
  auto BoxCaption = [programName] {
    return programName ? programName() : FromUtf8(settings::BuiltInText("STR_MAINPAGE_APPNAME"));
  };
  Notifier n;
  // Plain text: a value from a file or a tracker that looks like markup is shown as written.
  n.message = [BoxCaption](QWidget* parent, const QString& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), BoxCaption(), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  };
  n.askYesNo = [BoxCaption](QWidget* parent, const QString& text, bool noByDefault) {
    QMessageBox box(QMessageBox::Warning, BoxCaption(), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(noByDefault ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
  };
  n.captioned = [](QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  };
  n.saveFile = [](QWidget* parent, const QString& folder, const QString& filter, const QString& suffix) {
    QFileDialog dialog(parent, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                  : QString();
  };
  n.openFile = [](QWidget* parent, const QString& folder, const QString& filter) {
    QFileDialog dialog(parent, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                  : QString();
  };
  n.chooseFolder = [](QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                  : QString();
  };
  return n;
}

AppContext::AppContext() : lookup_(settings::LanguagesPath(), language_) {
  exitProgram = [](int code) { QCoreApplication::exit(code); };
  windowMover = [](QWindow* window) { return window && window->startSystemMove(); };
  notifier = MessageBoxes();
  // Qt speaks English until the user's language has been read.
  ApplyQtLanguage(locale_);
  InstallAccessibleRoles();
}

void AppContext::SetLanguage(std::string language) {
  language_ = std::move(language);
  Refresh();
  ApplyQtLanguage(locale_);
}

Notifier AppContext::MessageBoxes() {
  return MessageBoxNotifier([this] { return PlainCaption(Text("STR_MAINPAGE_APPNAME")); });
}

std::string AppContext::LocaleName() const { return LanguageLocaleName(lookup_); }

void AppContext::ReadLanguage() { SetLanguage(settings::ReadCurrentLanguage(SystemIni())); }

void AppContext::Refresh() {
  lookup_ = settings::TextLookup(settings::LanguagesPath(), language_);
  lookup_.Load();
  leaveQuestion = Text("STR_GLOBAL_CHANGE");
  const std::string locale = LocaleName();
  locale_ = QLocale(QString::fromStdString(locale));
  FollowTracker();
}

void AppContext::FollowTracker() {
  // Until the user chooses one, the device text is the tracker's own, else follows the language.
  codePage_ = settings::TrackerCodePage(SystemIni(), Imei(), LocaleName());
  settings_.SetCodePage(codePage_);
}

void AppContext::RememberTrackerEncoding() const {
  // A read-only settings folder only means it is not remembered beyond this run.
  (void)settings::RememberTrackerCodePage(SystemIni(), Imei(), codePage_);
}

Expected<std::unique_ptr<DevicePort>> AppContext::LeasePort() const {
  if (!portLeaser) return PortNotHeld();
  return portLeaser();
}

Expected<std::string> AppContext::BackUpBeforeWrite(const std::vector<std::string_view>& keys) const {
  return SaveWriteBackup(settings_.Snapshot(), keys.empty() ? KeysToSave(true) : keys, codePage_);
}

settings::IniFile AppContext::SystemIni() const { return settings::IniFile(settings::SystemIniPath()); }

QString AppContext::Text(std::string_view key) const { return FromUtf8(Lookup().Text(key)); }

QString AppContext::Text(std::string_view key, std::string_view english) const {
  return FromUtf8(Lookup().Text(key, english));
}

QString AppContext::FamilyText(std::string_view family, int index) const {
  return FromUtf8(Lookup().FamilyText(family, index));
}

QString AppContext::FromDevice(const std::string& bytes) const {
  return FromUtf8(settings::DecodeDeviceText(bytes, CodePage()));
}

Expected<std::string> AppContext::ToDevice(const QString& text) const {
  const QByteArray utf8 = text.toUtf8();
  return settings::EncodeDeviceText(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                                    CodePage());
}

std::string AppContext::StoredUserName(const std::string& imei) const { return StoredUserNames()(imei); }

std::function<std::string(const std::string& imei)> AppContext::StoredUserNames() const {
  return [](const std::string& imei) -> std::string {
    if (imei.empty()) return {};
    const settings::IniFile ini(settings::SystemIniPath());
    if (!settings::HasDeviceUserName(ini, imei)) return {};
    std::string name = settings::ReadDeviceUserName(ini, imei);
    return name == settings::kNoDeviceUserName ? std::string() : name;
  };
}

std::function<int(const std::string& imei)> AppContext::TrackerCodePages() const {
  return [locale = LocaleName()](const std::string& imei) {
    return settings::TrackerCodePage(settings::IniFile(settings::SystemIniPath()), imei, locale);
  };
}

void AppContext::ShowMessage(QWidget* parent, const QString& text, MessageIcon icon) const {
  if (notifier.message) notifier.message(parent, EscapeControls(text), icon);
}

void AppContext::ShowFailure(QWidget* parent, const Error& error) const { ShowError(parent, ErrorText(*this, error)); }

void AppContext::ShowCaptioned(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) const {
  if (notifier.captioned) {
    notifier.captioned(parent, caption, EscapeControls(text), icon);
  } else {
    ShowMessage(parent, text, icon);
  }
}

QString AppContext::AskSaveFile(QWidget* parent, const QString& folder, const QString& filter,
                                const QString& suffix) const {
  return notifier.saveFile ? notifier.saveFile(parent, folder, filter, suffix) : QString();
}

QString AppContext::FileFolder() const {
  const QString folder = FromUtf8(SystemIni().Read(settings::kSystemSection, settings::kFileFolderKey, ""));
  // A folder removed since is no place to start.
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void AppContext::RememberFileFolder(const QString& file) const {
  // A read-only settings folder only means it is not remembered beyond this run.
  (void)SystemIni().Write(settings::kSystemSection, settings::kFileFolderKey, ToUtf8(QFileInfo(file).absolutePath()));
}

QString AppContext::ReportFile() const {
  return FromUtf8(SystemIni().Read(settings::kSystemSection, settings::kReportFileKey, ""));
}

void AppContext::RememberReportFile(const QString& path) const {
  (void)SystemIni().Write(settings::kSystemSection, settings::kReportFileKey, ToUtf8(path));
}

QString AppContext::AskOpenFile(QWidget* parent, const QString& folder, const QString& filter) const {
  return notifier.openFile ? notifier.openFile(parent, folder, filter) : QString();
}

QString AppContext::AskFolder(QWidget* parent, const QString& folder) const {
  return notifier.chooseFolder ? notifier.chooseFolder(parent, folder) : QString();
}

bool AppContext::AskYesNo(QWidget* parent, const QString& text, bool noByDefault) const {
  return notifier.askYesNo ? notifier.askYesNo(parent, EscapeControls(text), noByDefault) : !noByDefault;
}

void AppContext::Exit(int code) const {
  if (exitProgram) exitProgram(code);
}

bool AppContext::StartWindowMove(QWidget* window) const {
  if (!window || !windowMover) return false;
  return windowMover(window->windowHandle());
}

}  // namespace zd573

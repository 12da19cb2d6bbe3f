#pragma once
// What every configuration page has in common: it opens exactly over the main
// window, has the dark title band with minimise and close, the title,
// subtitle, device name and IMEI lines, Back and Apply at the bottom, and the
// common order of Apply and the leave test of Back. A page adds its own
// controls and values through the hooks below.
#include <QColor>
#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <QPointer>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/transactions.h"
#include "pages/AppContext.h"
#include "pages/BandDrag.h"

namespace zd573 {

class CGdipButton;
class CLabel;
}  // namespace zd573

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace zd573 {

// What distinguishes one page's frame from another's.
struct PageLook {
  int iconId = 217;
  // The title key and its default ("STR_MAINPAGE_STR1", "Device Information").
  std::string_view titleKey;
  std::string_view titleDefault;
  // The page's description text under the title.
  std::string_view aboutKey;
  std::string_view aboutDefault;
  int subtitleWidth = 500;
  QColor panelColour{239, 245, 246};
  int pressedIconId = 0;  // 0: the icon's one picture serves both faces
};

inline const QColor kPagePanelColour{239, 245, 246};
inline const QColor kMessagePanelColour{223, 232, 237};

class PageFrame : public QDialog {
  Q_OBJECT

 public:
  // The drag band, in page coordinates.
  static constexpr QRect kDragBand = BandDrag::kBand;

  PageFrame(AppContext& context, QWidget* mainWindow, PageLook look);
  ~PageFrame() override;

  // Builds the frame and the page, sets the texts and fills the controls
  // from the settings record. Called once, right after construction.
  void Open();

  // Apply: page-local work, then store the controls into a copy of the
  // record (a value that cannot be sent is refused, naming the field), open
  // the port (else "Unable to open COM-port" and why, record unchanged), store,
  // build, write with the pause after each sentence, close. The writes run off
  // the GUI thread. Once the port opened, the controls show what was stored.
  void Apply();
  // The leave test: closes when nothing differs or the user says Yes.
  // Returns whether the page closed.
  bool Back();
  // Whether the controls differ from the record: the bound fields are stored
  // into a copy and compared, then the page's own rules are asked.
  bool Changed() const;

  CGdipButton* MinimiseButton() const { return minimise_; }
  CGdipButton* CloseButton() const { return close_; }
  CGdipButton* BackButton() const { return back_; }
  CGdipButton* ApplyButton() const { return apply_; }
  CGdipButton* PageIcon() const { return icon_; }
  CLabel* MenuText() const { return menuText_; }
  CLabel* ApplyText() const { return applyText_; }
  CLabel* TitleLine() const { return title_; }
  CLabel* SubtitleLine() const { return subtitle_; }
  CLabel* DeviceNameLine() const { return deviceName_; }
  CLabel* ImeiLine() const { return imei_; }
  bool HasBackground() const { return !background_.isNull(); }
  const PageLook& Look() const { return look_; }
  bool Dragging() const { return drag_.Dragging(); }

 protected:
  // A page declares each of its fields once; the frame fills the control from
  // the record, stores it through the core's value preparation and finds
  // changes by storing into a copy of the record.
  //
  // A text or number typed into an edit. A text edit takes no more bytes than
  // the field holds in the device encoding.
  void Bind(std::string_view key, QLineEdit* edit);
  // 1 when checked, 0 when not.
  void BindFlag(std::string_view key, QAbstractButton* box);
  // Item i stands for the value first + i. A value without an item selects
  // nothing; with nothing selected, `none` is stored, or the record's value
  // is kept when there is no `none`.
  void BindChoice(std::string_view key, QComboBox* list, int first = 0, std::optional<int> none = std::nullopt);
  // The checked button's id is the value; with none checked the record's value is kept.
  void BindChoice(std::string_view key, QButtonGroup* group);
  // Shown, never stored or sent.
  void BindShown(std::string_view key, QLineEdit* edit);

  // The page's own controls and texts.
  virtual void CreatePageControls() {}
  virtual void LoadPageTexts() {}
  // What the binding cannot do: fill, store and compare the page's special
  // controls. Each runs after the bound fields have been handled.
  virtual void FillFromSettings(const DeviceValues& /*values*/) {}
  virtual Status StoreControls(DeviceValues& /*edited*/) const { return {}; }
  virtual bool HasChanges(const DeviceValues& /*values*/) const { return false; }
  // Work that needs no device, done before the port is opened.
  virtual Status BeforeApply() { return {}; }
  // The transaction the page's Apply sends; none sends nothing.
  virtual std::optional<Page> TransactionPage() const { return std::nullopt; }

  // The page's controls, in one look: labels in the page's text colour drawn
  // over the background, standard edits, lists and boxes in the panel colour.
  CLabel* AddLabel(const QRect& at, std::string_view key, std::string_view english,
                   Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter);
  QLineEdit* AddEdit(const QRect& at);
  QComboBox* AddList(const QRect& at);
  QCheckBox* AddCheck(const QRect& at, const QString& text);
  QRadioButton* AddRadio(const QRect& at, const QString& text);
  // A small image button with a caption (Play, Change Password, Export).
  CGdipButton* AddTextButton(const QRect& at, const QString& caption, int points = 9);
  QString Text(std::string_view key, std::string_view english) const { return context_.Text(key, english); }

  // Stores an edit's text for `key` as a bound edit is stored; for edits whose
  // rules make them special (the logger's interval counts only while logging).
  Status StoreEdit(std::string_view key, const QLineEdit* edit, DeviceValues& edited) const;

  // Fills every control from `values`.
  void Fill(const DeviceValues& values);
  // Stores every control into `edited`; the first value that cannot be stored is the error.
  Status Store(DeviceValues& edited) const;

  QString FromDevice(const std::string& bytes) const { return context_.FromDevice(bytes); }

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

  AppContext& context_;

 private:
  enum class BindKind { Edit, Flag, List, Group, Shown };
  struct Binding {
    std::string key;
    BindKind kind;
    QWidget* control;
    QButtonGroup* group = nullptr;
    int first = 0;
    std::optional<int> none;
  };
  void FillBinding(const Binding& b, const DeviceValues& values);
  Status StoreBinding(const Binding& b, DeviceValues& edited) const;
  void LimitToCapacity(QLineEdit* edit, std::string_view key);

  std::vector<Binding> bindings_;

  void CreateFrameControls();
  void LoadFrameTexts();
  void MinimiseBoth();

  PageLook look_;
  QPointer<QWidget> main_;
  QPixmap background_;
  BandDrag drag_;
  bool leaving_ = false;
  CGdipButton* minimise_ = nullptr;
  CGdipButton* close_ = nullptr;
  CGdipButton* back_ = nullptr;
  CGdipButton* apply_ = nullptr;
  CGdipButton* icon_ = nullptr;
  CLabel* menuText_ = nullptr;
  CLabel* applyText_ = nullptr;
  CLabel* title_ = nullptr;
  CLabel* subtitle_ = nullptr;
  CLabel* deviceName_ = nullptr;
  CLabel* imei_ = nullptr;
};

}  // namespace zd573

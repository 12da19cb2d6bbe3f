#pragma once
// The chrome every configuration page shares, as a view inside the main
// window: the dark title band with minimise and close, the title, subtitle,
// device name and IMEI lines, Back and Apply at the bottom with the line that
// says what Apply is doing, the common order of Apply and the leave test of
// Back. A page adds its own controls and binds its fields (FieldBinder).
#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "controls/CGdiPlusBitmap.h"
#include "common/result.h"
#include "device/transactions.h"
#include "frame/AppContext.h"
#include "frame/BackgroundTask.h"
#include "frame/BandDrag.h"
#include "frame/FieldBinder.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace zd573 {

class CGdipButton;
class CLabel;

// What distinguishes one page's look from another's.
struct PageLook {
  int iconId = 217;
  // The page's description text under the title.
  std::string_view aboutKey;
  std::string_view aboutDefault;
  int subtitleWidth = 500;
  QColor panelColour{239, 245, 246};
  int pressedIconId = 0;  // 0: the icon's one picture serves both faces
};

// Who a page is: its title and the transaction its Apply sends (none sends nothing).
struct PageIdentity {
  std::string_view titleKey;
  std::string_view titleDefault;
  std::optional<Page> sends;
};

inline const QColor kPagePanelColour{239, 245, 246};
inline const QColor kMessagePanelColour{223, 232, 237};

class PageFrame : public QWidget {
  Q_OBJECT

 public:
  static constexpr QSize kSize{802, 602};

  PageFrame(AppContext& context, QWidget* window, PageLook look);
  ~PageFrame() override;

  // Builds the frame and the page, sets the texts and fills the controls
  // from the settings record. Called once, right after construction.
  void Open(const PageIdentity& identity);

  // Apply: page-local work, then store the controls into a copy of the
  // record (a value that cannot be sent is refused, naming the field), then
  // the transaction off the window thread on the port the logged-in tracker
  // was identified on, leased from the session (without one the user is told
  // and the record stays), with the pause after each sentence. The page is
  // busy meanwhile and says how far it is; the controls then show what the
  // record holds.
  void Apply();
  // The leave test: closes when nothing differs or the user says Yes.
  // Returns whether the page closed. Refused while busy.
  bool Back();
  // Leaves without the leave test (the tracker that was read is gone); work
  // still running is stopped first.
  void Abandon();
  // Whether the window may close now. While sentences are being written the
  // user is asked: finish writing (the default), after which `closeLater`
  // runs and this returns false, or stop now, leaving the page half-written
  // (named in the question): the page is abandoned and this returns true.
  bool MayClose(std::function<void()> closeLater);
  // Whether the controls differ from the record: the bound fields are stored
  // into a copy and compared, then the page's own rules are asked.
  bool Changed() const;
  // Device or disk work of the page is running.
  virtual bool Busy() const { return busy_; }
  QString Title() const { return title_text_; }
  // Gives the keyboard to the page's first field.
  void FocusFirstField();

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
  // What Apply is doing ("Writing 2 of 10") and how it ended.
  CLabel* ProgressLine() const { return progress_; }
  bool HasBackground() const { return !background_.IsNull(); }
  const PageLook& Look() const { return look_; }

 signals:
  // The page has been left (Back); it deletes itself next.
  void closed();

 protected:
  FieldBinder& Fields() { return binder_; }
  const FieldBinder& Fields() const { return binder_; }

  // The page's own controls and texts.
  virtual void CreatePageControls() {}
  // What the binding cannot do: fill, store and compare the page's special
  // controls. Each runs after the bound fields have been handled.
  virtual void FillFromSettings(const DeviceValues& /*values*/) {}
  virtual Status StoreControls(DeviceValues& /*edited*/) const { return {}; }
  virtual bool HasChanges(const DeviceValues& /*values*/) const { return false; }
  // Work that needs no device, done before the port is opened.
  virtual Status BeforeApply() { return {}; }
  // The page's focus chain when reading order is not the right one (two
  // columns that read down); empty: reading order.
  virtual std::vector<QWidget*> PageFocusOrder() const { return {}; }
  // The page's own controls go quiet (or wake) while device work runs.
  virtual void SetPageBusy(bool /*busy*/) {}
  // Device work the page runs itself (not through RunDeviceWork) ends at
  // once, without a word: the tracker it was for is gone.
  virtual void StopPageWork() {}

  // Runs device work off the window thread while the page is busy: `work`
  // gets the stop token and the frame's progress reporter; `done` runs on the
  // window thread after it, and the page is no longer busy.
  template <class Work, class Done>
  void RunDeviceWork(Work work, Done done) {
    SetBusy(true);
    task_.Run(std::move(work), [this, done = std::move(done)](auto result) mutable {
      SetBusy(false);
      done(std::move(result));
    });
  }
  // Sends one sentence (a tone, an erase) as device work on the session's
  // port; a failure is shown,
  // `sent` is called once it is on the line. Nothing is sent while the page is busy.
  void SendDeviceQuery(const Sentence& query, std::function<void()> sent = {});
  // The page's write once its values were read again: `edited` goes out whole.
  void WritePage(Page page, const DeviceValues& edited);
  // The device name in the band, shortened to fit.
  void ShowDeviceName(const std::string& name);
  // The progress line: "Writing n of m", or how the work ended.
  void ShowProgress(const QString& text);
  // The progress reporter handed to a transaction's writes.
  static std::function<void(int, int)> ProgressReporter(const BackgroundTask::Relay& relay, QPointer<PageFrame> page);

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

  // Fills every control from `values`.
  void Fill(const DeviceValues& values);
  // Stores every control into `edited`; the first value that cannot be stored is the error.
  Status Store(DeviceValues& edited) const;

  QString FromDevice(const std::string& bytes) const { return context_.FromDevice(bytes); }

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  AppContext& context_;

 private:
  void CreateFrameControls();
  void PrepareForKeyboard();
  void LoadFrameTexts();
  void SetBusy(bool busy);
  void Leave();
  // Names, on the progress line, the texts the encoding in use does not decode.
  void ShowUncleanTexts();

  FieldBinder binder_;
  PageLook look_;
  PageIdentity identity_;
  QString title_text_;
  SkinPicture background_;
  bool busy_ = false;
  QWidget* firstField_ = nullptr;
  QPointer<QWidget> focusBeforeBusy_;
  bool leaving_ = false;
  std::function<void()> closeAfterWork_;  // set while the writing is finished before a close
  // A task that cannot start ends at once and says why.
  BackgroundTask task_{this, [this](const Error& failure) {
                         SetBusy(false);
                         context_.ShowFailure(this, failure);
                       }};
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
  CLabel* progress_ = nullptr;
};

}  // namespace zd573

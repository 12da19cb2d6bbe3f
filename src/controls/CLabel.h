#pragma once
// The static text of every window: text in a colour and font of its own,
// over a solid background or, when made clear, straight over whatever the
// parent painted. It can act as a link.
//
// Text layout follows the label's alignment and word wrap:
//   AlignHCenter: centred, wrapped       AlignRight: right-aligned, wrapped
//   AlignLeft without word wrap: one plain line per line of text
//   AlignLeft with word wrap: left-aligned, wrapped
// AlignVCenter centres a single line vertically, unless the text contains
// "\r\n"; then the text is wrapped from the top. Tabs are expanded.
// Labels start aligned to the top left without word wrap.
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QAccessible>
#include <QUrl>

#include <functional>

class QTextLayout;

namespace zd573 {

class CLabel : public QLabel {
  Q_OBJECT

 public:
  // Code of the notice a link label sends instead of opening its target.
  static constexpr unsigned kNotifyCode = 0x8200;

  enum class LinkKind { None, Document };

  explicit CLabel(QWidget* parent = nullptr);
  explicit CLabel(const QString& text, QWidget* parent = nullptr);
  ~CLabel() override;

  void SetBackground(const QColor& colour);
  void SetForeground(const QColor& colour);
  void SetLabelText(const QString& text);
  // On: the text is drawn in whole lines, the last one ending in "…" when
  // the label is too small for it, and then shown whole in its tooltip.
  void SetTipWhenCut(bool on) { tipWhenCut_ = on; }
  void SetBold(bool on);
  void SetPointSize(int points);
  // On: draw the text only, over the parent's pixels. Off: opaque again.
  void SetClearBackground(bool on);
  void MakeLink(bool on = true, bool notifyParent = false);

  // The identifier carried by the notice to the parent.
  void SetControlId(int id) { controlId_ = id; }
  int ControlId() const { return controlId_; }

  QColor Foreground() const { return textColour_; }
  LinkKind Link() const { return linkKind_; }
  const QFont& FontDescription() const { return fontDescription_; }

  // How links are opened. The default asks the desktop to open the URL;
  // tests install their own. Returns the previous opener.
  using ShellOpener = std::function<void(const QUrl&)>;
  static ShellOpener SetShellOpener(ShellOpener opener);

  // The URL a press on this label opens, or an empty URL when it opens none.
  QUrl LinkUrl() const;

  // What a screen reader takes the label for: static text (the default), a
  // status line whose changes it announces, or a tab. A tab or a link can be
  // reached with Tab and pressed with Enter or Space.
  void SetAccessibleRole(QAccessible::Role role);
  QAccessible::Role AccessibleRole() const { return role_; }
  // What a press does, for the keyboard and for assistive tools.
  void Activate();

 signals:
  // A press on a label made a link with notify-parent.
  void notify(int controlId, unsigned code);
  // A click (press and release inside) on a link label.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // A pressed link: the parent is told, or the address opened.
  void FollowLink();
  void Init();
  QAccessible::Role role_ = QAccessible::StaticText;
  void Redraw();
  void Rebuild();
  void UpdateMouseHandling();
  void Draw(QPainter& p, const QRect& client);
  int TextFlags(const QString& text) const;
  // Lays out the plain text in lines of the label's width: how many fit whole.
  int WholeLines(QTextLayout& layout, const QRect& client) const;
  void DrawWholeLines(QPainter& p, const QRect& client);

  QColor textColour_;
  QColor defaultColour_;
  QColor backgroundColour_{0, 0, 0};
  bool hasBackgroundBrush_ = false;
  QFont fontDescription_;
  QFont labelFont_;
  LinkKind linkKind_ = LinkKind::None;
  bool transparent_ = false;
  bool notifyParent_ = false;
  bool pressedInside_ = false;
  bool tipWhenCut_ = false;
  int controlId_ = -1;
};

}  // namespace zd573

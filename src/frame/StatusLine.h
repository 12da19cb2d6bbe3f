#pragma once
// The menu's one-line status: a text per status in the current language, the
// IMEI line (or the name the user gave the tracker) and how far a read is.
#include <QString>

#include <string>
#include <vector>

#include "common/result.h"
#include "device/device_job.h"

class QWidget;

namespace zd573 {

class AppContext;
class CLabel;

class StatusLine {
 public:
  // Status `identified` is the IMEI line, `reading` the one a read's progress follows.
  StatusLine(AppContext& context, CLabel* label, int identified, int reading)
      : context_(context), label_(label), identified_(identified), reading_(reading) {}

  // Takes the texts of the current language.
  void LoadTexts();
  QString Text(int status) const;
  void Show(int status);
  void ShowProgress(Progress progress);
  // Another program holds the tracker's port: its open is tried again.
  void ShowBusy();
  // Tells a failure in a box over `parent`; a read's reason also follows its
  // status on the line.
  void Fail(QWidget* parent, const Error& error);

 private:
  // Shows `text` on the label, smaller and on two rows when it would not fit.
  void Put(const QString& text);
  // The identified line for the device's stored name (empty: none).
  QString IdentifiedLine(const std::string& name) const;

  AppContext& context_;
  CLabel* label_;
  int identified_;
  int reading_;
  std::vector<QString> texts_;
  int points_ = 0;  // the label's own size, taken at the first text
};

}  // namespace zd573

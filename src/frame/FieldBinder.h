#pragma once
// Controls bound to the settings record: each field is declared once, and the
// binder fills the control from the record, stores it through the core's value
// preparation, and finds changes by storing into a copy of the record.
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/device_settings.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QWidget;

namespace zd573 {

class AppContext;

class FieldBinder {
 public:
  explicit FieldBinder(const AppContext& context) : context_(context) {}

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

  // Fills every bound control from `values`.
  void Fill(const DeviceValues& values);
  // Stores every bound control into `edited`; the first value that cannot be
  // stored is the error.
  Status Store(DeviceValues& edited) const;
  // Stores an edit's text for `key` as a bound edit is stored (for edits whose
  // rules make them special). A text left as it was filled keeps the record's
  // bytes, even ones the device encoding cannot show.
  Status StoreEdit(std::string_view key, const QLineEdit* edit, DeviceValues& edited) const;
  // The text fields whose device bytes did not decode cleanly at the last Fill, in binding order.
  const std::vector<std::string>& UncleanTexts() const { return unclean_; }

 private:
  enum class Kind { Edit, Flag, List, Group, Shown };
  struct Binding {
    std::string key;
    Kind kind;
    QWidget* control;
    QButtonGroup* group = nullptr;
    int first = 0;
    std::optional<int> none;
  };
  void FillBinding(const Binding& b, const DeviceValues& values);
  Status StoreBinding(const Binding& b, DeviceValues& edited) const;
  void LimitToCapacity(QLineEdit* edit, std::string_view key);

  const AppContext& context_;
  std::vector<Binding> bindings_;
  std::vector<std::string> unclean_;
};

}  // namespace zd573

#include "frame/FieldBinder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <memory>

#include "device/user_values.h"
#include "frame/AppContext.h"
#include "frame/ChoiceList.h"
#include "settings/text_encoding.h"
#include "frame/TextConversion.h"

namespace zd573 {

namespace {
// The text an edit was last filled with, kept on the edit itself.
constexpr const char* kFilledText = "zd573FilledText";
}  // namespace

void FieldBinder::Bind(std::string_view key, QLineEdit* edit) {
  bindings_.push_back({std::string(key), Kind::Edit, edit, nullptr, 0, std::nullopt});
  const KeyInfo* k = FindKey(key);
  if (k && k->kind == FieldKind::Text) LimitToCapacity(edit, key);
}

void FieldBinder::BindFlag(std::string_view key, QAbstractButton* box) {
  bindings_.push_back({std::string(key), Kind::Flag, box, nullptr, 0, std::nullopt});
}

void FieldBinder::BindChoice(std::string_view key, QComboBox* list, int first, std::optional<int> none) {
  bindings_.push_back({std::string(key), Kind::List, list, nullptr, first, none});
}

void FieldBinder::BindChoice(std::string_view key, QButtonGroup* group) {
  bindings_.push_back({std::string(key), Kind::Group, nullptr, group, 0, std::nullopt});
}

void FieldBinder::BindShown(std::string_view key, QLineEdit* edit) {
  bindings_.push_back({std::string(key), Kind::Shown, edit, nullptr, 0, std::nullopt});
}

void FieldBinder::LimitToCapacity(QLineEdit* edit, std::string_view key) {
  const KeyInfo* k = FindKey(key);
  const auto capacity = static_cast<std::size_t>(k->capacity);
  // What was last accepted, so an edit that would overflow the field can be refused.
  auto accepted = std::make_shared<QString>();
  const AppContext* context = &context_;
  QObject::connect(edit, &QLineEdit::textChanged, edit, [context, edit, capacity, accepted](const QString& text) {
    auto bytes = context->ToDevice(text);
    // A character the device encoding lacks is refused, with the field's name, on Apply.
    if (!bytes || bytes->size() <= capacity) {
      *accepted = text;
      return;
    }
    const int cursor = edit->cursorPosition();
    if (text.startsWith(*accepted)) {
      // Typed or pasted at the end: keep what fits, never half a character.
      const std::string_view fits = settings::CutToCharBoundary(*bytes, capacity, context->CodePage());
      edit->setText(context->FromDevice(std::string(fits)));
    } else {
      // Typed in the middle of a full field: the typing is refused.
      const auto grown = text.size() - accepted->size();
      edit->setText(*accepted);
      edit->setCursorPosition(std::max(0, cursor - static_cast<int>(grown)));
    }
  });
}

void FieldBinder::Fill(const DeviceValues& values) {
  unclean_.clear();
  for (const Binding& b : bindings_) FillBinding(b, values);
}

void FieldBinder::FillBinding(const Binding& b, const DeviceValues& values) {
  const KeyInfo* k = FindKey(b.key);
  const bool text = k && k->kind == FieldKind::Text;
  const std::int32_t number = values.Number(b.key);
  switch (b.kind) {
    case Kind::Edit:
    case Kind::Shown: {
      auto* edit = static_cast<QLineEdit*>(b.control);
      const QString shown = text ? context_.FromDevice(values.Text(b.key)) : QString::number(number);
      if (text && !settings::DecodesCleanly(values.Text(b.key), context_.CodePage())) unclean_.push_back(b.key);
      edit->setText(shown);
      edit->setProperty(kFilledText, edit->text());
      break;
    }
    case Kind::Flag: static_cast<QAbstractButton*>(b.control)->setChecked(number != 0); break;
    case Kind::List: {
      // A value no item stands for is shown as its number and kept.
      auto* list = static_cast<QComboBox*>(b.control);
      const std::int64_t index = std::int64_t{number} - b.first;
      choice::RemoveExtra(list);
      if (index >= 0 && index < list->count()) {
        list->setCurrentIndex(static_cast<int>(index));
      } else if (b.none && number == *b.none) {
        list->setCurrentIndex(-1);  // the list's own "none"
      } else {
        choice::Select(list, -1, number, QString::number(number));
      }
      break;
    }
    case Kind::Group: {
      // A value without a button checks none, which an exclusive group refuses.
      b.group->setExclusive(false);
      for (QAbstractButton* button : b.group->buttons()) button->setChecked(b.group->id(button) == number);
      b.group->setExclusive(true);
      break;
    }
  }
}

Status FieldBinder::Store(DeviceValues& edited) const {
  for (const Binding& b : bindings_)
    if (Status s = StoreBinding(b, edited); !s) return s;
  return {};
}

Status FieldBinder::StoreBinding(const Binding& b, DeviceValues& edited) const {
  switch (b.kind) {
    case Kind::Shown: return {};
    case Kind::Edit: return StoreEdit(b.key, static_cast<QLineEdit*>(b.control), edited);
    case Kind::Flag:
      return StoreUserNumber(edited, b.key, static_cast<QAbstractButton*>(b.control)->isChecked() ? 1 : 0);
    case Kind::List: {
      const auto* list = static_cast<QComboBox*>(b.control);
      if (choice::ExtraValue(list)) return {};  // the record's own value, unchanged
      const int index = list->currentIndex();
      if (index >= 0) return StoreUserNumber(edited, b.key, std::int64_t{index} + b.first);
      return b.none ? StoreUserNumber(edited, b.key, *b.none) : Status{};
    }
    case Kind::Group: {
      const int id = b.group->checkedId();
      return id >= 0 ? StoreUserNumber(edited, b.key, id) : Status{};
    }
  }
  return {};
}

Status FieldBinder::StoreEdit(std::string_view key, const QLineEdit* edit, DeviceValues& edited) const {
  const QString shown = edit->text();
  const KeyInfo* k = FindKey(key);
  // A value left as the tracker gave it stays as it is, byte for byte: a text
  // the device encoding cannot show (read under another code page), one that
  // could not be typed (the transaction refuses it if it cannot be sent), or
  // one a page rule would change (a report interval of 0).
  const QVariant filled = edit->property(kFilledText);
  if (filled.isValid() && filled.toString() == shown) return {};
  if (k && k->kind == FieldKind::Text) {
    auto bytes = context_.ToDevice(shown);
    if (bytes && *bytes == edited.Text(key)) return {};
  } else if (ConvertDecimal(ToUtf8(shown)) == edited.Number(key)) {
    return {};
  }
  auto stored = StoreUserValue(edited, key, ToUtf8(shown), context_.Rules());
  return stored ? Status{} : Status{stored.failure()};
}

}  // namespace zd573

#pragma once
// A drop-down list whose items stand for values, that can also show a value
// none of its items stands for: the value is added as an extra item, selected,
// and given back unchanged until the user picks another item.
#include <QComboBox>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

namespace zd573::choice {

// The role that marks the extra item and holds its value.
inline constexpr int kExtraValueRole = Qt::UserRole + 73;

// Removes the extra item, if any.
inline void RemoveExtra(QComboBox* list) {
  for (int i = list->count() - 1; i >= 0; --i)
    if (list->itemData(i, kExtraValueRole).isValid()) list->removeItem(i);
}

// Selects the item at `index`, or, for none (-1), an extra item that shows
// `value` as `text` and stands for it. An extra item from an earlier fill goes.
inline void Select(QComboBox* list, int index, int value, const QString& text) {
  RemoveExtra(list);
  if (index >= 0 && index < list->count()) {
    list->setCurrentIndex(index);
    return;
  }
  list->addItem(text);
  list->setItemData(list->count() - 1, value, kExtraValueRole);
  list->setCurrentIndex(list->count() - 1);
}

// The value of the extra item when it is selected.
inline std::optional<int> ExtraValue(const QComboBox* list) {
  const QVariant v = list->currentData(kExtraValueRole);
  return v.isValid() ? std::optional<int>(v.toInt()) : std::nullopt;
}

}  // namespace zd573::choice

#pragma once
// The track view's map settings, a sheet over the view: the tile address
// ({z}/{x}/{y}; http, https or file://), the attribution drawn on the map and
// the size of the tiles' disk cache, kept in system.ini.
#include "frame/SkinnedDialog.h"
#include "pages/TileSource.h"

class QLineEdit;
class QSpinBox;

namespace zd573 {

class MapSettingsSheet : public SkinnedDialog {
  Q_OBJECT

 public:
  MapSettingsSheet(AppContext& context, QWidget* parent);

  QLineEdit* AddressEdit() const { return address_; }
  QLineEdit* AttributionEdit() const { return attribution_; }
  QSpinBox* CacheBox() const { return cache_; }
  CGdipButton* DefaultsButton() const { return defaults_; }

  // Checks the address and keeps the settings; a bad address is told and
  // the sheet stays.
  void Confirm();

 protected:
  void OnConfirm() override { Confirm(); }

 private:
  QLineEdit* address_ = nullptr;
  QLineEdit* attribution_ = nullptr;
  QSpinBox* cache_ = nullptr;
  CGdipButton* defaults_ = nullptr;
};

}  // namespace zd573

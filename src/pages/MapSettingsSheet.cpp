#include "pages/MapSettingsSheet.h"

#include <QLineEdit>
#include <QSpinBox>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Accessibility.h"
#include "frame/Messages.h"
#include "frame/Skin.h"

namespace zd573 {

namespace {
constexpr int kMaxCacheMegabytes = 10000;
}

MapSettingsSheet::MapSettingsSheet(AppContext& context, QWidget* parent)
    : SkinnedDialog(context, parent, QSize(450, 360), skin::kSetupBackground, skin::kSettingsIcon) {
  SetTitle(context_.Text("STR_MAPSETTINGS_TITLE", "Map settings"));
  const MapSettings settings = MapSettings::Read(context_.SystemIni());

  const QString addressText = context_.Text("STR_MAPSETTINGS_ADDRESS", "Tile address:");
  AddLabel(1301, QRect(20, 56, 410, 22), addressText);
  address_ = new QLineEdit(settings.urlTemplate, this);
  address_->setGeometry(20, 78, 410, 26);
  // system.ini keeps values of up to this many characters.
  address_->setMaxLength(int(settings::IniFile::kMaxValueChars));
  address_->setAccessibleName(SpokenLabel(addressText));

  const QString attributionText = context_.Text("STR_MAPSETTINGS_ATTRIBUTION", "Shown on the map:");
  AddLabel(1302, QRect(20, 112, 410, 22), attributionText);
  attribution_ = new QLineEdit(settings.attribution, this);
  attribution_->setGeometry(20, 134, 410, 26);
  attribution_->setMaxLength(int(settings::IniFile::kMaxValueChars));
  attribution_->setAccessibleName(SpokenLabel(attributionText));

  AddLabel(1303, QRect(20, 172, 230, 26), context_.Text("STR_MAPSETTINGS_CACHE", "Tile cache (MB):"));
  cache_ = new QSpinBox(this);
  cache_->setGeometry(255, 172, 100, 26);
  cache_->setRange(0, kMaxCacheMegabytes);
  cache_->setValue(settings.cacheMegabytes);

  CLabel* note = AddLabel(1304, QRect(20, 204, 410, 62),
                          context_.Text("STR_MAPSETTINGS_NOTE",
                                        "{z}, {x} and {y} stand for a tile's zoom, column and row. Tiles are fetched "
                                        "only while the map is on, and only those in view."));
  note->setWordWrap(true);
  note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  note->SetPointSize(9);
  note->SetForeground(skin::kHintColour);

  defaults_ = skin::MakeButton(this, skin::kTextButtonNormal, skin::kTextButtonPressed, QRect(325, 270, 105, 21));
  defaults_->SetCaption(context_.Text("STR_MAPSETTINGS_DEFAULTS", "Defaults"));
  defaults_->SetCaptionPointSize(9);
  defaults_->SetCaptionColor(skin::kDialogTextColour);
  defaults_->SetSpokenName(defaults_->Caption());
  connect(defaults_, &QAbstractButton::clicked, this, [this] {
    const MapSettings fresh;
    address_->setText(fresh.urlTemplate);
    attribution_->setText(fresh.attribution);
    cache_->setValue(fresh.cacheMegabytes);
  });

  ConfirmCaption()->SetLabelText(context_.Text("STR_GLOBAL_CONFIRM", "Confirm"));
  CancelCaption()->SetLabelText(context_.Text("STR_GLOBAL_CANCEL", "Cancel"));
}

void MapSettingsSheet::Confirm() {
  const QString address = address_->text().trimmed();
  if (!IsTileTemplate(address)) {
    context_.ShowError(this, context_.Text("STR_MAPSETTINGS_BADADDRESS",
                                           "The tile address must begin with http://, https:// or file:// and hold "
                                           "{z}, {x} and {y}."));
    address_->setFocus(Qt::OtherFocusReason);
    return;
  }
  const settings::IniFile ini = context_.SystemIni();
  MapSettings settings = MapSettings::Read(ini);
  settings.urlTemplate = address;
  settings.attribution = attribution_->text().trimmed();
  settings.cacheMegabytes = cache_->value();
  if (Status written = settings.Write(ini); !written) {
    context_.ShowFailure(this, written.failure());
    return;
  }
  accept();
}

}  // namespace zd573

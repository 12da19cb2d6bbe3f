#pragma once
// Every picture of the skin: its resource id, its size and what it is for.
// Windows look pictures up by id (":/png/<id>"); the sizes are binding because
// buttons take their faces from them pixel for pixel.
#include <array>

namespace zd573::skin {

struct Picture {
  int id;
  int width;
  int height;
  const char* role;
};

inline constexpr std::array kCatalogue{
    Picture{233, 800, 600, "main window background"},
    Picture{225, 96, 96, "main window logo"},
    Picture{171, 115, 115, "device information page button, normal"},
    Picture{172, 115, 115, "device information page button, pressed"},
    Picture{173, 115, 115, "device information page button, disabled"},
    Picture{150, 115, 115, "contacts and messages page button, normal"},
    Picture{151, 115, 115, "contacts and messages page button, pressed"},
    Picture{152, 115, 115, "contacts and messages page button, disabled"},
    Picture{153, 115, 115, "GPRS page button, normal"},
    Picture{154, 115, 115, "GPRS page button, pressed"},
    Picture{155, 115, 115, "GPRS page button, disabled"},
    Picture{156, 115, 115, "ringing and alarm page button, normal"},
    Picture{157, 115, 115, "ringing and alarm page button, pressed"},
    Picture{158, 115, 115, "ringing and alarm page button, disabled"},
    Picture{159, 115, 115, "logger page button, normal"},
    Picture{160, 115, 115, "logger page button, pressed"},
    Picture{161, 115, 115, "logger page button, disabled"},
    Picture{168, 115, 115, "settings button, normal"},
    Picture{169, 115, 115, "settings button, pressed"},
    Picture{170, 115, 115, "settings button, disabled"},
    Picture{178, 140, 40, "login button, normal"},
    Picture{179, 140, 40, "login button, pressed"},
    Picture{180, 140, 40, "login and logout button, disabled"},
    Picture{256, 140, 40, "logout button, normal"},
    Picture{255, 140, 40, "logout button, pressed"},
    Picture{257, 180, 36, "save to file button, normal"},
    Picture{258, 180, 36, "save to file button, pressed"},
    Picture{259, 180, 36, "load from file button, normal"},
    Picture{260, 180, 36, "load from file button, pressed"},
    Picture{264, 180, 36, "undo last write button, normal"},
    Picture{265, 180, 36, "undo last write button, pressed"},
    Picture{266, 180, 36, "view a track button, normal"},
    Picture{267, 180, 36, "view a track button, pressed"},
    Picture{176, 16, 16, "minimise button, normal"},
    Picture{177, 16, 16, "minimise button, pressed"},
    Picture{174, 16, 16, "close button, normal"},
    Picture{175, 16, 16, "close button, pressed"},
    Picture{234, 800, 600, "configuration page background"},
    Picture{183, 65, 50, "Apply and confirm button, normal"},
    Picture{184, 65, 50, "Apply and confirm button, pressed"},
    Picture{185, 65, 50, "Back button, normal"},
    Picture{186, 65, 50, "Back button, pressed"},
    Picture{217, 48, 48, "device information page icon"},
    Picture{218, 48, 48, "GPRS page icon"},
    Picture{219, 48, 48, "logger page icon"},
    Picture{220, 48, 48, "contacts and messages page icon"},
    Picture{222, 48, 48, "ringing and alarm page icon"},
    Picture{268, 48, 48, "track view icon"},
    Picture{193, 105, 21, "text button, normal"},
    Picture{194, 105, 21, "text button, pressed"},
    Picture{213, 65, 50, "cancel button, normal"},
    Picture{214, 65, 50, "cancel button, pressed"},
    Picture{215, 24, 24, "login and password window icon"},
    Picture{223, 24, 24, "settings window icon"},
    Picture{262, 24, 24, "save to file sheet icon"},
    Picture{263, 24, 24, "load from file sheet icon"},
    Picture{246, 350, 250, "login and password window background"},
    Picture{243, 431, 253, "settings window panel, Options active"},
    Picture{244, 431, 253, "settings window panel, About active"},
    Picture{245, 450, 360, "settings window background"},
    Picture{261, 802, 602, "profile review sheet background"},
    Picture{247, 670, 325, "contacts and messages panel, Contacts active"},
    Picture{248, 670, 325, "contacts and messages panel, SMS Message active"},
    Picture{201, 47, 47, "Down button, normal"},
    Picture{202, 47, 47, "Down button, pressed"},
    Picture{203, 47, 47, "Up button, normal"},
    Picture{204, 47, 47, "Up button, pressed"},
    Picture{249, 20, 20, "badge of contact 1"},
    Picture{250, 20, 20, "badge of contact 2"},
    Picture{251, 20, 20, "badge of contact 3"},
    Picture{252, 20, 20, "badge of contact 4"},
    Picture{253, 502, 12, "progress bar, empty track"},
    Picture{254, 502, 12, "progress bar, full bar"},
    Picture{238, 670, 36, "alarm table header band"},
    Picture{239, 670, 54, "alarm row band, recurring"},
    Picture{240, 670, 54, "alarm row band"},
    Picture{162, 115, 115, "spare page button: map, normal"},
    Picture{163, 115, 115, "spare page button: map, pressed"},
    Picture{164, 115, 115, "spare page button: map, disabled"},
    Picture{165, 115, 115, "spare page button: help, normal"},
    Picture{166, 115, 115, "spare page button: help, pressed"},
    Picture{167, 115, 115, "spare page button: help, disabled"},
    Picture{181, 140, 40, "spare wide button, secondary"},
    Picture{221, 48, 48, "spare page icon: password"},
    Picture{224, 48, 48, "spare page icon: settings"},
    Picture{241, 670, 36, "spare header band"},
    Picture{242, 670, 90, "spare tall row band"},
};

// The catalogue's entry for `id`, or none.
constexpr const Picture* FindPicture(int id) {
  for (const Picture& p : kCatalogue)
    if (p.id == id) return &p;
  return nullptr;
}

// Where the fixed text colours of the windows meet the pictures: controls on
// a page paint their own background in the page's panel colour, so the
// pictures use exactly these colours where controls sit.
inline constexpr int kPagePanelRgb = 0xEFF5F6;     // 239, 245, 246
inline constexpr int kMessagePanelRgb = 0xDFE8ED;  // 223, 232, 237

}  // namespace zd573::skin

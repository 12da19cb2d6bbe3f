#pragma once
// The look shared by the shell's windows: picture ids, text colours and sizes,
// and small helpers that make a skinned button or style a label.
#include <QColor>
#include <QRect>

class QWidget;

namespace zd573 {

class CGdipButton;
class CLabel;

namespace skin {

// Pictures (ids of ":/png/<id>").
inline constexpr int kMainBackground = 233;
inline constexpr int kLogo = 225;
inline constexpr int kPageBackground = 234;
inline constexpr int kMinimiseNormal = 176;
inline constexpr int kMinimisePressed = 177;
inline constexpr int kCloseNormal = 174;
inline constexpr int kClosePressed = 175;
inline constexpr int kConfirmNormal = 183;  // also the pages' Apply
inline constexpr int kConfirmPressed = 184;
inline constexpr int kBackNormal = 185;
inline constexpr int kBackPressed = 186;
inline constexpr int kCancelNormal = 213;
inline constexpr int kCancelPressed = 214;
inline constexpr int kLoginIcon = 215;     // login and password windows
inline constexpr int kSettingsIcon = 223;  // settings window
inline constexpr int kLoginBackground = 246;
inline constexpr int kSetupOptionsPanel = 243;
inline constexpr int kSetupAboutPanel = 244;
inline constexpr int kSetupBackground = 245;
inline constexpr int kTextButtonNormal = 193;  // Play, Stop, Change Password, Export, Delete
inline constexpr int kTextButtonPressed = 194;
inline constexpr int kSaveFileNormal = 257;  // main menu, under Login
inline constexpr int kSaveFilePressed = 258;
inline constexpr int kLoadFileNormal = 259;
inline constexpr int kLoadFilePressed = 260;
inline constexpr int kUndoWriteNormal = 264;  // main menu, under Load from file
inline constexpr int kUndoWritePressed = 265;
inline constexpr int kReviewBackground = 261;  // profile review sheet
inline constexpr int kSaveIcon = 262;          // save to file sheet
inline constexpr int kLoadIcon = 263;          // load from file sheet
inline constexpr int kTrackFileNormal = 266;   // main menu: view a track
inline constexpr int kTrackFilePressed = 267;
inline constexpr int kTrackIcon = 268;         // track view

// Text sizes in points.
inline constexpr int kTitlePoints = 14;
inline constexpr int kLabelPoints = 10;
inline constexpr int kCaptionPoints = 11;

inline const QColor kDialogTitleColour{0x17, 0x24, 0x32};
inline const QColor kDialogTextColour{0x17, 0x24, 0x32};
inline const QColor kHintColour{128, 128, 128};
// A note that something was refused (a wrong password).
inline const QColor kErrorColour{0xC0, 0x39, 0x2B};
inline const QColor kDialogFallbackColour{0xE4, 0xEB, 0xF0};

// An image button with its normal and pressed pictures at `at`.
CGdipButton* MakeButton(QWidget* parent, int normalId, int pressedId, const QRect& at);
// A view that paints picture `id` as its background, at the screen's pixel
// density: image buttons on it take their background from it.
QWidget* MakePictureView(QWidget* parent, int id);
// A label drawn straight over the parent's picture.
void StyleLabel(CLabel* label, const QColor& colour, int points, bool bold = false);

}  // namespace skin
}  // namespace zd573

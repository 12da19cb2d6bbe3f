#pragma once
// The menu's file buttons, shown while a tracker is logged in: "Save to
// file…" keeps its settings as a backup or a profile, "Load from file…"
// reviews a file's differences from it and writes them, "Undo last write"
// reviews the backup saved before the last write to it the same way, and
// "For each tracker plugged in: save a backup" saves every tracker plugged in.
#include <QObject>

#include <functional>
#include <string>

namespace zd573 {

class AppContext;
class CGdipButton;
class ProfileReviewSheet;
class SessionHost;
class SkinnedDialog;

class ProfileMenu : public QObject {
  Q_OBJECT

 public:
  // What the menu lends: whether it is free (no page, no sheet) and how a sheet goes over it.
  struct Host {
    std::function<bool()> free;
    std::function<void(SkinnedDialog*)> show;
  };
  ProfileMenu(AppContext& context, SessionHost& session, QWidget* menu, Host host);

  void ApplyTexts();
  // Shown once a tracker's settings have been read.
  void Show(bool loggedIn);
  CGdipButton* SaveButton() const { return save_; }
  CGdipButton* LoadButton() const { return load_; }
  CGdipButton* UndoButton() const { return undo_; }
  CGdipButton* SaveEachButton() const { return saveEach_; }

  void OnSave();
  void OnLoad();
  void OnUndo();
  void OnSaveEach();

 private:
  // Shows the sheet made for the tracker with `imei`, unless it has gone meanwhile.
  void Review(ProfileReviewSheet* sheet, const std::string& imei);

  AppContext& context_;
  SessionHost& session_;
  QWidget* menu_;
  Host host_;
  CGdipButton* save_ = nullptr;
  CGdipButton* load_ = nullptr;
  CGdipButton* undo_ = nullptr;
  CGdipButton* saveEach_ = nullptr;
};

}  // namespace zd573

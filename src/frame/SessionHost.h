#pragma once
// The session with the tracker in the window's event loop: its notices become
// the `changed` signal, and a tty coming or going in the watched device
// folder becomes its device change.
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

#include "device/session.h"
#include "frame/QtOwnerThread.h"

namespace zd573 {

class AppContext;

class SessionHost : public QObject {
  Q_OBJECT

 public:
  // The session reads into the context's settings, with its pauses, and keeps
  // its port name up to date; the context's operations lease its port while
  // the host lives. It starts searching at once.
  SessionHost(AppContext& context, QObject* parent);
  ~SessionHost() override;

  Session& Get() { return *session_; }
  const Session& Get() const { return *session_; }
  // Watches `dir` for tty nodes coming and going.
  void WatchDeviceDirectory(const QString& dir);
  // A port came or went (the watched folder, or the system's notice).
  void DeviceChange();

 signals:
  void changed(const zd573::SessionNotice& notice);
  // After each device change, for what waits for a tracker besides the session.
  void devicesChanged();

 private:
  QStringList TtyNames() const;

  AppContext& context_;
  std::function<Expected<std::unique_ptr<DevicePort>>()> previousLeaser_;
  QtOwnerThread owner_{this};
  std::unique_ptr<Session> session_;
  QFileSystemWatcher watcher_;
  QString watchedDir_;
  QStringList ttys_;
};

}  // namespace zd573

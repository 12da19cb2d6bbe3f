#include "frame/SessionHost.h"

#include <QDir>

#include <utility>

#include "frame/AppContext.h"

namespace zd573 {

SessionHost::SessionHost(AppContext& context, QObject* parent) : QObject(parent), context_(context) {
  SessionOptions options;
  options.searchDelay = context_.durations.searchDelay;
  options.portMatchPause = context_.durations.portMatchPause;
  options.loginPause = context_.durations.loginPause;
  options.fullReadStall = context_.durations.fullReadStall;
  options.busyRetry = context_.durations.busyRetry;
  options.busyPatience = context_.durations.busyPatience;
  options.port = context_.portName;
  session_ = std::make_unique<Session>(context_.Settings(), owner_, std::move(options),
                                       [this](const SessionNotice& notice) {
                                         context_.portName = session_->Port();
                                         if (notice.state == SessionState::Identified) context_.FollowTracker();
                                         emit changed(notice);
                                       });
  previousLeaser_ = std::exchange(context_.portLeaser, [this] { return session_->LeasePort(); });
  context_.trackerChanged = [this] { session_->TrackerChanged(); };
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
    const QStringList now = TtyNames();
    if (now != ttys_) {
      ttys_ = now;
      DeviceChange();
    }
  });
  session_->Start();
}

// The session's threads end before the object their calls go to.
SessionHost::~SessionHost() {
  context_.portLeaser = std::move(previousLeaser_);
  context_.trackerChanged = nullptr;
  session_->Stop();
}

void SessionHost::DeviceChange() {
  session_->DeviceChange();
  emit devicesChanged();
}

void SessionHost::WatchDeviceDirectory(const QString& dir) {
  if (!watchedDir_.isEmpty()) watcher_.removePath(watchedDir_);
  watchedDir_ = dir;
  ttys_ = TtyNames();
  watcher_.addPath(dir);
}

QStringList SessionHost::TtyNames() const {
  if (watchedDir_.isEmpty()) return {};
  // Compared by hand: a name filter would build a regular expression engine for one prefix.
  QStringList names = QDir(watchedDir_).entryList(QDir::System | QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
  names.removeIf([](const QString& name) { return !name.startsWith(QLatin1String("tty"), Qt::CaseInsensitive); });
  names.sort();
  return names;
}

}  // namespace zd573

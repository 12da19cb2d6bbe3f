#pragma once
// Ctrl+C and a polite kill end the program through its event loop (exit code
// 130), so the session is stopped, the port closed and the demo's folder
// removed. One file per platform.
#include <QObject>

#include <memory>

namespace zd573 {

// Keeps catching them while the returned object lives; none when it cannot.
std::unique_ptr<QObject> CatchStopSignals();

}  // namespace zd573

#include "app/StopSignals.h"

namespace zd573 {

// A window program has no console to press Ctrl+C in; closing the window ends it.
std::unique_ptr<QObject> CatchStopSignals() { return nullptr; }

}  // namespace zd573

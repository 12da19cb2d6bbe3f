#include "skin_resources.h"

#include <QtCore/qglobal.h>

// Declared outside any namespace, as Q_INIT_RESOURCE requires.
static void InitSkinResourcesOnce() {
  Q_INIT_RESOURCE(skin);
  Q_INIT_RESOURCE(skin_menu);
}

namespace zd573::skin {

void InitResources() {
  static const bool done = [] {
    InitSkinResourcesOnce();
    return true;
  }();
  (void)done;
}

}  // namespace zd573::skin

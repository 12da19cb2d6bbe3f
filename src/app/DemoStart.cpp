#include "app/CZD573_UtilityApp.h"
#include "demo/DemoTracker.h"

namespace zd573 {

std::shared_ptr<void> StartDemo(std::string* error) {
  // In place before the first search.
  auto demo = std::make_shared<DemoTracker>();
  if (!demo->Start(error)) return nullptr;
  return demo;
}

}  // namespace zd573

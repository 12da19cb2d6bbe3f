#include "app/CZD573_UtilityApp.h"

namespace zd573 {

std::shared_ptr<void> StartDemo(std::string* error) {
  if (error) *error = "--demo is not available in this build";
  return nullptr;
}

}  // namespace zd573

#pragma once
// Makes sure the skin's resources are registered. Linking zd573skin already
// does that; calling this is harmless and keeps the resources in programs
// that are linked with aggressive dead-code removal.
namespace zd573::skin {

void InitResources();

}  // namespace zd573::skin

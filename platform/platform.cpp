#include "platform/platform.h"

namespace vx {
namespace {
Platform* current = nullptr;
}

Platform& Sys() { return *current; }
void SetPlatform(Platform* platform) { current = platform; }

}  // namespace vx

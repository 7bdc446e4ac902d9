#include "platform/TickCount.h"

#include <chrono>

namespace zv2::platform {

std::uint32_t GetTickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace zv2::platform

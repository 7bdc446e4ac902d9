#pragma once
// Milliseconds of a steady clock as a 32-bit unsigned value that wraps after
// about 49.7 days, like the system tick count the download keys are made of.

#include <cstdint>

namespace zv2::platform {

std::uint32_t GetTickCount();

} // namespace zv2::platform

#pragma once
// The program folder: where Download.ini, Music/ and LRCs/ live. It is the
// folder of the executable unless the environment variable ZV2_HOME names
// another one. Always ends with "/".

#include <string>

namespace zv2::platform {

std::string ProgramFolder();

} // namespace zv2::platform

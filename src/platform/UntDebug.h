#pragma once
// Diagnostic lines for an outside viewer (tools/debugwin). Each line is one
// datagram on the local socket named "DebugWin" (an abstract Unix socket; the
// environment variable ZV2_DEBUGWIN names another). The sender never waits:
// with nobody listening, or a viewer that has fallen behind, the line is lost.

#include <string>
#include <string_view>

namespace zv2::platform {

// Any thread. Sends the text without its terminating zero; reports nothing.
void DebugOutput(std::string_view text);

// The socket address the lines go to, with its leading zero byte.
std::string DebugWinAddress();

} // namespace zv2::platform

#pragma once
// libavcodec's own messages ("[mp3float @ 0x...] overread, skip ...") go to
// the diagnostic output (platform/UntDebug.h) instead of standard error:
// warnings and worse, one datagram per message; anything milder is dropped.
// The decoder routes them before it opens libavcodec.

namespace zv2::audio {

// Installs the route for the whole process. Any thread, any number of times.
void RouteFFmpegLog();

} // namespace zv2::audio

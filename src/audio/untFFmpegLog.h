#pragma once
// libavcodec's own messages ("[mp3float @ 0x...] overread, skip ...") go to
// the diagnostic output (platform/UntDebug.h) instead of standard error:
// warnings and worse, one datagram per message; anything milder is dropped.
// The decoder routes them once it has loaded libavcodec, before it opens a
// decoder.

namespace zv2::audio {

// Loads the libraries when they are not yet and installs the route for the
// whole process. Any thread, any number of times.
void RouteFFmpegLog();

} // namespace zv2::audio

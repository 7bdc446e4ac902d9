#include "audio/untFFmpegLog.h"

#include "audio/FFmpegObjects.h"
#include "platform/UntDebug.h"

#include <cstdarg>
#include <mutex>
#include <string_view>

namespace zv2::audio {

namespace {

// libavcodec calls this on whatever thread decodes; it must not throw. It is
// installed only once the libraries are loaded.
void ToDiagnosticOutput(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING)
        return;
    char line[1024];
    int printPrefix = 1; // each message with its "[decoder @ address]"
    if (FFmpeg()->av_log_format_line2(context, level, format, args, line, sizeof line, &printPrefix) < 0)
        return;
    std::string_view text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (!text.empty())
        platform::DebugOutput(text);
}

} // namespace

void RouteFFmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (const TFFmpeg* f = FFmpeg())
            f->av_log_set_callback(ToDiagnosticOutput);
    });
}

} // namespace zv2::audio

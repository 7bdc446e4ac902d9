#include "http/untHttpFetch.h"

#include "platform/TextCodec.h"

#include "platform/net/TcpSocket.h"

#include <chrono>

namespace zv2::http {

namespace {

using TClock = std::chrono::steady_clock;

// The size of one receive: a reply arrives in pieces of at most this many bytes.
constexpr std::size_t kReceiveBlock = 1024;

int MsLeft(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

TFetchStatus StatusOf(platform::TNetResult result) {
    switch (result) {
    case platform::TNetResult::Aborted:
        return TFetchStatus::Aborted;
    case platform::TNetResult::Timeout:
        return TFetchStatus::TimedOut;
    case platform::TNetResult::Closed:
        return TFetchStatus::Complete;
    default:
        return TFetchStatus::Failed;
    }
}

} // namespace

TFetchResult THttpFetch::Fetch(const TPageRequest& request) {
    std::optional<std::string> text =
        BuildRequest("GET", request.Host, request.Port, request.Path, request.Kind, request.BrowserHeaders);
    if (!text)
        return {{}, TFetchStatus::Refused};
    if (request.BrowserHeaders)
        *text += '!'; // the lyric site's pages expect this one byte after the request
    platform::TTcpSocket socket;
    const TSocketAbort::TScope registered(Abort_, socket);
    TFetchResult result;
    const auto deadline = TClock::now() + std::chrono::milliseconds(Limits_.TimeLimitMs);
    const auto run = [&]() -> TFetchStatus {
        platform::TNetResult step = socket.Connect(request.Host, request.Port, MsLeft(deadline));
        if (step != platform::TNetResult::Ok)
            return step == platform::TNetResult::Closed ? TFetchStatus::Failed : StatusOf(step);
        step = socket.SendAll(text->data(), text->size(), MsLeft(deadline));
        if (step != platform::TNetResult::Ok)
            return step == platform::TNetResult::Closed ? TFetchStatus::Failed : StatusOf(step);
        char buffer[kReceiveBlock];
        for (;;) {
            std::size_t got = 0;
            const int left = MsLeft(deadline);
            if (left == 0)
                return TFetchStatus::TimedOut;
            step = socket.Receive(buffer, sizeof buffer, got, left);
            if (step != platform::TNetResult::Ok)
                return StatusOf(step);
            if (result.Text.size() + got > Limits_.SizeCap) {
                result.Text.append(buffer, Limits_.SizeCap - result.Text.size());
                return TFetchStatus::TooLarge;
            }
            result.Text.append(buffer, got);
        }
    };
    result.Status = run();
    return result;
}

TFetchResult THttpFetch::FetchPage(const TPageRequest& request) {
    TFetchResult result = Fetch(request);
    result.Text = platform::ToValidUtf8(result.Text);
    return result;
}

void THttpFetch::Abort() {
    Abort_.Abort();
}

} // namespace zv2::http

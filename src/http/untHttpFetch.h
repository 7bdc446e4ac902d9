#pragma once
// One web page, fetched the way every fetcher of the catalogue does it: one
// GET over a fresh TCP connection ("Connection: Close"), the reply gathered in
// 1024-byte receives until the server closes. The reply is returned whole and
// unparsed (status line, headers, blank line, body); callers look for their
// markers in it. Failures are not errors of their own: they show as a short
// or empty text, and the status says why.
//
// Every fetch ends: it is cut short by Abort() from another thread, by its
// overall time limit (a server that hangs) and by its size cap (a server that
// never stops sending). Fetch() runs on a worker, never on the UI thread; its
// name lookup, too, ends with the abort or the time limit (the socket layer
// waits for the resolver on a thread of its own).
//
// Threads: Fetch() on one worker thread at a time; Abort() from any thread.

#include "http/untHttpRequest.h"
#include "http/untSocketAbort.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zv2::http {

struct TFetchLimits {
    int TimeLimitMs = 30000;                  // from the connect to the last byte
    std::size_t SizeCap = 8u * 1024u * 1024u; // bytes of reply kept at most
};

// What one fetch asks for. `Port` 80 is never written in the request.
struct TPageRequest {
    std::string Host; // name or dotted address, without a port
    std::uint16_t Port = 80;
    std::string Path; // without the leading "/" of the request line
    TRequestKind Kind = TRequestKind::Page;
    bool BrowserHeaders = false; // lyric site only: Accept lines, then one more byte "!"
};

enum class TFetchStatus {
    Complete, // the server closed the connection after its reply
    Failed,   // lookup, connect or send failed, or the connection broke
    Aborted,  // Abort() was called
    TimedOut, // the time limit passed first
    TooLarge, // the reply passed the size cap; the text holds the first SizeCap bytes
    Refused,  // the request guard refused host or path: nothing was sent
};

struct TFetchResult {
    std::string Text; // what arrived, possibly nothing
    TFetchStatus Status = TFetchStatus::Failed;
};

class THttpFetch {
public:
    explicit THttpFetch(TFetchLimits limits = {}) : Limits_(limits) {}
    THttpFetch(const THttpFetch&) = delete;
    THttpFetch& operator=(const THttpFetch&) = delete;

    // Worker thread. The reply bytes as received.
    TFetchResult Fetch(const TPageRequest& request);
    // Worker thread. Fetch() for pages in UTF-8: the text is the reply with
    // every invalid UTF-8 sequence replaced (platform::ToValidUtf8).
    TFetchResult FetchPage(const TPageRequest& request);

    // Any thread. Ends the running fetch at once (it returns what it has) and
    // every later one before it connects: an aborted fetcher stays aborted.
    void Abort();

private:
    TFetchLimits Limits_;
    TSocketAbort Abort_; // never reset: an aborted fetcher stays aborted
};

} // namespace zv2::http

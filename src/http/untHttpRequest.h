#pragma once
// The request text of every web access: how an address is split into host,
// port and path, and the exact bytes of the GET / HEAD requests the catalogue,
// the lyric worker and the download engine send. Pure functions, no sockets.
//
// Every request text is made here, and only after the request guard
// (RequestTargetAllowed) let its host and path pass: hosts and paths come
// from pages, and a CR LF there would add header lines of the page's own, a
// NUL would cut the request. A refused request has no text (nullopt): the
// caller sends nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv2::http {

// An address as the fetchers use it. `Path` has no leading "/" of its own: a
// site path that begins with "/" keeps that slash, so its request line reads
// "GET //...". `Port` comes from a "host:port" written in the address, else 80.
struct TUrlParts {
    std::string Host;
    std::uint16_t Port = 80;
    std::string Path;
};

// Drops everything up to and including the first "http://", then cuts at the
// first "/": host before it, path after it (empty when there is none).
TUrlParts SplitUrl(std::string_view url);

// Every space of `path` becomes "%20"; nothing else is escaped.
std::string EscapeSpaces(std::string_view path);

// "host" on port 80, "host:port" on any other port (the Host and Referer lines).
std::string HostWithPort(std::string_view host, std::uint16_t port);

// The request guard: false when `host` holds a control byte (0x00-0x1F,
// 0x7F: CR, LF and NUL among them) or a blank, or `path` holds a control
// byte. A path's blanks pass: the callers escape them (EscapeSpaces).
bool RequestTargetAllowed(std::string_view host, std::string_view path);

// Which fetcher sends the request: search and chart pages, or the lyric site
// (another user agent, no cache line, and the browser's Accept lines when
// `BrowserHeaders` is set).
enum class TRequestKind { Page, Lyric };

// "METHOD /path HTTP/1.1" and the fixed header lines of a page fetch;
// nullopt when the guard refuses host or path.
std::optional<std::string> BuildRequest(std::string_view method, std::string_view host, std::uint16_t port,
                                        std::string_view path, TRequestKind kind = TRequestKind::Page,
                                        bool browserHeaders = false);

// The download engine's variant: the page request plus "Accept: */*" and, when
// 0 <= start < end, "Range: bytes=start-end" (both inclusive); nullopt when
// the guard refuses host or path.
std::optional<std::string> BuildRangeRequest(std::string_view method, std::string_view host, std::string_view path,
                                             std::uint16_t port, std::int64_t start, std::int64_t end);

} // namespace zv2::http

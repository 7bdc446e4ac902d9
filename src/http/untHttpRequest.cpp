#include "http/untHttpRequest.h"

#include "platform/net/NetAddress.h"

namespace zv2::http {

namespace {

constexpr std::string_view PageAgent = "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0; MyIE 3.01)";
constexpr std::string_view LyricAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 2.0.50727; CIBA)";
constexpr std::string_view BrowserAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, application/x-silverlight, "
    "*/*\r\n"
    "Accept-Language: zh-cn\r\n"
    "UA-CPU: x86\r\n";

// Request line, optional extra lines, Referer, User-Agent and Host: the part
// every request shares.
std::string RequestHead(std::string_view method, std::string_view host, std::uint16_t port, std::string_view path,
                        std::string_view extraLines, std::string_view agent) {
    const std::string site = HostWithPort(host, port);
    std::string text;
    text.reserve(256 + 2 * path.size());
    text.append(method).append(" /").append(path).append(" HTTP/1.1\r\n");
    text.append(extraLines);
    text.append("Referer: http://").append(site).append("/").append(path).append("\r\n");
    text.append("User-Agent: ").append(agent).append("\r\n");
    text.append("Host: ").append(site).append("\r\n");
    return text;
}

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

bool RequestTargetAllowed(std::string_view host, std::string_view path) {
    for (const char c : host)
        if (IsControl(c) || c == ' ')
            return false;
    for (const char c : path)
        if (IsControl(c))
            return false;
    return true;
}

TUrlParts SplitUrl(std::string_view url) {
    constexpr std::string_view scheme = "http://";
    if (const auto at = url.find(scheme); at != std::string_view::npos)
        url.remove_prefix(at + scheme.size());
    TUrlParts parts;
    const auto slash = url.find('/');
    std::string_view host = url.substr(0, slash);
    if (slash != std::string_view::npos)
        parts.Path = std::string(url.substr(slash + 1));
    // A "host:port" names its port; anything that is not a port 1..65535 stays
    // part of the host, and the lookup of that name then fails.
    if (const auto colon = host.rfind(':'); colon != std::string_view::npos) {
        std::uint16_t port = 0;
        if (platform::ParsePort(host.substr(colon + 1), port) && port > 0) {
            parts.Port = port;
            host = host.substr(0, colon);
        }
    }
    parts.Host = std::string(host);
    return parts;
}

std::string EscapeSpaces(std::string_view path) {
    std::string escaped;
    escaped.reserve(path.size());
    for (const char c : path) {
        if (c == ' ')
            escaped += "%20";
        else
            escaped += c;
    }
    return escaped;
}

std::string HostWithPort(std::string_view host, std::uint16_t port) {
    std::string text(host);
    if (port != 80)
        text.append(":").append(std::to_string(port));
    return text;
}

std::optional<std::string> BuildRequest(std::string_view method, std::string_view host, std::uint16_t port,
                                        std::string_view path, TRequestKind kind, bool browserHeaders) {
    if (!RequestTargetAllowed(host, path))
        return std::nullopt;
    if (kind == TRequestKind::Lyric) {
        std::string text =
            RequestHead(method, host, port, path, browserHeaders ? BrowserAccept : std::string_view{}, LyricAgent);
        text.append("Connection: Close\r\n\r\n");
        return text;
    }
    std::string text = RequestHead(method, host, port, path, {}, PageAgent);
    text.append("Connection: Close\r\nCache-Control: no-cache\r\n\r\n");
    return text;
}

std::optional<std::string> BuildRangeRequest(std::string_view method, std::string_view host, std::string_view path,
                                             std::uint16_t port, std::int64_t start, std::int64_t end) {
    if (!RequestTargetAllowed(host, path))
        return std::nullopt;
    std::string text = RequestHead(method, host, port, path, {}, PageAgent);
    text.append("Accept: */*\r\nConnection: Close\r\nCache-Control: no-cache\r\n");
    if (end > 0 && start >= 0 && start < end)
        text.append("Range: bytes=")
            .append(std::to_string(start))
            .append("-")
            .append(std::to_string(end))
            .append("\r\n");
    text.append("\r\n");
    return text;
}

} // namespace zv2::http

#include "http/untHttpReply.h"

#include "platform/TextCodec.h"

namespace zv2::http {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "HTTP/1.1 206 Partial Content": sets Status and Reason, or leaves Status 0.
void ReadStatusLine(std::string_view line, THttpReplyHead& head) {
    constexpr std::string_view kProtocol = "HTTP/";
    if (!line.starts_with(kProtocol))
        return;
    std::size_t at = kProtocol.size();
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < line.size() && IsDigit(line[at]))
            ++at;
        return at > from;
    };
    if (!digits() || at >= line.size() || line[at++] != '.' || !digits())
        return;
    if (at + 4 > line.size() || line[at] != ' ' || !IsDigit(line[at + 1]) || !IsDigit(line[at + 2]) ||
        !IsDigit(line[at + 3]) || (at + 4 < line.size() && line[at + 4] != ' '))
        return;
    head.Status = (line[at + 1] - '0') * 100 + (line[at + 2] - '0') * 10 + (line[at + 3] - '0');
    head.Reason = std::string(TrimBlanks(line.substr(at + 4)));
}

} // namespace

const THeaderField* THttpReplyHead::Find(std::string_view name) const {
    const std::string wanted = platform::AsciiLower(name);
    for (const THeaderField& field : Fields)
        if (field.Name.size() == wanted.size() && platform::AsciiLower(field.Name) == wanted)
            return &field;
    return nullptr;
}

THttpReplyHead ReadReplyHead(std::string_view reply) {
    THttpReplyHead head;
    const std::size_t end = reply.find("\r\n\r\n");
    head.Complete = end != std::string_view::npos;
    head.Size = head.Complete ? end + 4 : reply.size();
    const std::string_view text = reply.substr(0, head.Complete ? end : reply.size());
    std::size_t at = 0;
    for (bool first = true; at <= text.size(); first = false) {
        std::size_t lineEnd = text.find("\r\n", at);
        if (lineEnd == std::string_view::npos)
            lineEnd = text.size();
        const std::string_view line = text.substr(at, lineEnd - at);
        if (first) {
            ReadStatusLine(line, head);
        } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
            head.Fields.push_back(
                {std::string(line.substr(0, colon)), std::string(TrimBlanks(line.substr(colon + 1)))});
        }
        at = lineEnd + 2;
    }
    return head;
}

std::optional<std::int64_t> DecimalValue(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace zv2::http

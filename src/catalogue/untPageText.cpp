#include "catalogue/untPageText.h"

namespace zv2::catalogue {

std::string_view CutSection(TPageCursor& page, std::string_view start, std::string_view end, TCutEnd how) {
    const auto from = start.empty() ? std::string_view::npos : page.Page.find(start, page.At);
    if (from == std::string_view::npos)
        return {};
    page.At = from;
    // The end marker is looked for after the start marker: an end marker that
    // also begins the start marker would otherwise give a one-character piece
    // and leave the cursor where it was, and the next cut would find it again.
    const auto to = page.Page.find(end, from + start.size());
    if (to == std::string_view::npos || end.empty())
        return {};
    const std::size_t length = to - from + (how == TCutEnd::WholeMarker ? end.size() : 1);
    page.At = to;
    return page.Page.substr(from, length);
}

std::string_view FindSection(TPageCursor& page, std::string_view start, std::string_view end, std::string_view required,
                             TCutEnd how) {
    // Pieces follow each other (two overlap by at most the end marker), so
    // the whole walk reads each byte of the page a bounded number of times.
    while (!page.StopRequested()) {
        const std::string_view piece = CutSection(page, start, end, how);
        if (piece.empty() || piece.find(required) != std::string_view::npos)
            return piece;
    }
    return {};
}

std::string AttributeValue(std::string_view name, std::string_view text) {
    const auto at = text.find(name);
    if (at == std::string_view::npos)
        return {};
    const auto open = text.find('"', at + name.size());
    if (open == std::string_view::npos)
        return {};
    const auto close = text.find('"', open + 1);
    return std::string(
        text.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
}

std::string CleanText(std::string_view text) {
    std::string clean = ReplaceAll(text, "&nbsp;", "");
    while (!clean.empty() && clean.back() == ' ')
        clean.pop_back();
    return clean;
}

std::string TextBetween(std::string_view text, std::string_view open, std::string_view close) {
    const auto at = text.find(open);
    if (at == std::string_view::npos)
        return {};
    const auto from = at + open.size();
    const auto to = text.find(close, from);
    if (to == std::string_view::npos)
        return {};
    return std::string(text.substr(from, to - from));
}

std::string QuotedField(std::string_view text, std::string_view key) {
    const auto at = text.find(key);
    if (at == std::string_view::npos)
        return {};
    const auto colon = text.find(':', at + key.size());
    if (colon == std::string_view::npos)
        return {};
    const auto open = text.find('\'', colon + 1);
    if (open == std::string_view::npos)
        return {};
    const auto close = text.find('\'', open + 1);
    if (close == std::string_view::npos)
        return {};
    return std::string(text.substr(open + 1, close - open - 1));
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    if (from.empty())
        return std::string(text);
    std::size_t at = 0;
    for (auto next = text.find(from); next != std::string_view::npos; next = text.find(from, at)) {
        out.append(text.substr(at, next - at)).append(to);
        at = next + from.size();
    }
    out.append(text.substr(at));
    return out;
}

std::string TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

} // namespace zv2::catalogue

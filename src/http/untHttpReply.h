#pragma once
// The one reader of an HTTP reply's head: the status line and the header
// lines up to the blank line. Header names are matched without regard to
// case. Every fetcher reads its replies with it (the download engine's size
// probe and segments, the lyric file); what each then requires of the
// head is its own rule on top. Pure functions over received bytes, no sockets.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::http {

struct THeaderField {
    std::string Name;  // as written, without the colon
    std::string Value; // without the blanks (SP, HTAB) around it
};

struct THttpReplyHead {
    bool Complete = false; // the blank line (CR LF CR LF) ending the head was there
    std::size_t Size = 0;  // bytes of the head, its blank line included; the body starts here
    int Status = 0;        // the code of a status line "HTTP/<digits>.<digits> <3 digits>[ reason]"; 0 otherwise
    std::string Reason;    // the status line's text after the code, blanks around it removed
    std::vector<THeaderField> Fields; // the header lines "name:value", in order

    // The first field named `name`, in any case; nullptr when there is none.
    const THeaderField* Find(std::string_view name) const;
};

// Reads the head at the start of `reply`: up to its first blank line, or the
// whole text when there is none (a reply cut short, Complete false). Lines
// end with CR LF; a line without a colon is no field.
THttpReplyHead ReadReplyHead(std::string_view reply);

// A header value that is a decimal number and nothing else, of at most 18
// digits (below 10^18); nullopt otherwise.
std::optional<std::int64_t> DecimalValue(std::string_view text);

} // namespace zv2::http

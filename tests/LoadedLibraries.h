#pragma once
// Which shared libraries this process has loaded: for tests of what a unit
// loads itself, and when (CTest runs each case as a process of its own, so
// what a case finds loaded is its own doing or the program's linking).

#include <cstddef>
#include <link.h>
#include <string>

namespace zv2::test {

// Whether a loaded library's path contains `part` ("libportaudio.so",
// "/imageformats/").
inline bool LibraryLoaded(const std::string& part) {
    struct TSearch {
        const std::string& Part;
        bool Found = false;
    } search{part};
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* s = static_cast<TSearch*>(data);
            s->Found = s->Found || (info->dlpi_name && std::string(info->dlpi_name).find(s->Part) != std::string::npos);
            return 0;
        },
        &search);
    return search.Found;
}

} // namespace zv2::test

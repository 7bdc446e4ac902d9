// Feeds arbitrary bytes to the INI reader, then reads, writes and re-reads
// keys: nothing may crash, a written value must read back exactly (or be
// refused), and a Unicode file stays in its one encoding.
#include "platform/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto ini = zv2::platform::TIniFile::FromText("/nonexistent/fuzz.ini", text);
    (void)ini->ReadInteger("Download", "MaxTasks", 5);
    (void)ini->ReadBool("History", "AutoPlay", true);
    const auto count = ini->ReadInteger("MusicList", "MusicCount", 0);
    (void)ini->ReadString("MusicList", "Music" + std::to_string(count), "");
    ini->WriteString("History", "LastPlayed", "7");
    // The last bytes of the input as a path: whatever they hold, they read back as written.
    const std::string_view path = text.substr(text.size() - std::min<std::size_t>(text.size(), 24));
    const bool stored = ini->WriteString("MusicList", "Music0", path);
    ini->EraseSection("SearchList");
    const std::string saved = ini->Text();
    if (text.starts_with("\xFF\xFE") && (!saved.starts_with("\xFF\xFE") || saved.size() % 2 != 0))
        std::abort();
    auto again = zv2::platform::TIniFile::FromText("/nonexistent/fuzz.ini", saved);
    if (again->ReadInteger("History", "LastPlayed", -1) != 7)
        std::abort();
    if (stored && again->Find("MusicList", "Music0") != path)
        std::abort();
    return 0;
}

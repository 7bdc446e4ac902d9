// Feeds arbitrary bytes to the INI reader, then reads, writes and re-reads
// keys: nothing may crash and a written value must read back.
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
    ini->EraseSection("SearchList");
    auto again = zv2::platform::TIniFile::FromText("/nonexistent/fuzz.ini", ini->Text());
    if (again->ReadInteger("History", "LastPlayed", -1) != 7)
        std::abort();
    return 0;
}

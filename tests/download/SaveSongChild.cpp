// The child process of the writer's kill test: it saves one large song
// through a TSaveThread and then waits to be killed.
// Usage: save_song_child FOLDER BYTES
#include "FileServer.h"
#include "download/untSaveThread.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string folder = argv[1];
    const std::size_t size = std::strtoull(argv[2], nullptr, 10);
    const std::string song = zv2::test::SongBytes(size);
    zv2::download::TMemoryPool pool(4, 2048);
    zv2::download::TSaveThread writer(pool, 3, {}, 0);
    writer.AddFile(1, folder + "/Song.mp3", static_cast<std::int64_t>(size));
    // Blocks of 1 MiB from the song itself: the writer copies them and gives
    // back to the pool only what the pool lent.
    constexpr std::size_t kBlock = 1 << 20;
    for (std::size_t at = 0; at < size; at += kBlock)
        writer.AddBlock({1, static_cast<std::int64_t>(at), static_cast<std::int32_t>(std::min(kBlock, size - at)),
                         const_cast<char*>(song.data() + at)});
    for (;;)
        ::pause();
}

#pragma once
// tools/music-site in a child process on 127.0.0.1, on a port the system
// picks, for the tests of the program itself (the other tests run the site in
// their own process: LocalMusicSite.h). Its request log (one line per
// request, the Range line with it) is Site.Err.

#include "tools/ChildProcess.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace zv2::test {

class TMusicSiteProcess {
public:
    // `options`: the tool's own, "--music DIR" at least. Waits up to
    // `limitMs` for the site to listen; Listening() says whether it does.
    explicit TMusicSiteProcess(const std::vector<std::string>& options, int limitMs = 20000) : Site(Command(options)) {
        const std::string prefix = "music-site: listening on 127.0.0.1:";
        if (Site.WaitForOutput("\n", limitMs) && Site.Out.rfind(prefix, 0) == 0) {
            Port = static_cast<std::uint16_t>(std::stoi(Site.Out.substr(prefix.size())));
        }
    }

    bool Listening() const { return Port != 0; }

    // The tool of this build.
    static std::string Program() {
        const char* tools = std::getenv("ZV2_TOOLS_DIR");
        return std::string(tools ? tools : ".") + "/music-site";
    }

    TChildProcess Site;
    std::uint16_t Port = 0;

private:
    static std::vector<std::string> Command(const std::vector<std::string>& options) {
        std::vector<std::string> argv{Program(), "--bind", "127.0.0.1", "--port", "0"};
        argv.insert(argv.end(), options.begin(), options.end());
        return argv;
    }
};

} // namespace zv2::test

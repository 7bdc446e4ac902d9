#pragma once
// A fresh folder under the test's temporary directory, removed with its content at the end.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace zv2::test {

class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zv2test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        Path_ = pattern;
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::permissions(Path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(Path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return Path_; }
    std::string File(const std::string& name) const { return Path_ + "/" + name; }

private:
    std::string Path_;
};

// The names of what a folder holds, sorted.
inline std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The whole content of a file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace zv2::test

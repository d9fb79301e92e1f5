#pragma once
// Shared pieces of the package builder's tests: a temporary folder, whole-file helpers, test data.
#include "builder/ByteIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace tarvo::packager::test {

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        std::random_device seed;
        std::mt19937 random(seed());
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("tarvo-builder-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) path_ = candidate.string();
        }
        EXPECT_FALSE(path_.empty());
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return JoinPath(path_, name); }

    // Writes `content` to the relative path `name`, making its folders.
    std::string Write(const std::string& name, const std::string& content) const {
        std::string full = *this / name;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::string error;
        EXPECT_TRUE(WriteWholeFile(full, content.data(), content.size(), &error)) << error;
        return full;
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& content) const {
        return Write(name, std::string(content.begin(), content.end()));
    }

private:
    std::string path_;
};

// The names in a folder itself, sorted.
inline std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ReadWholeFile(path, &bytes, &error)) << error;
    return bytes;
}

inline std::string ReadText(const std::string& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Data that compresses somewhat, like a program: runs of text, repeated records and noise.
inline std::vector<uint8_t> ProgramLikeBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    const std::string words[] = {"Install", "Folder", "Registry", "Value", std::string(4, '\0'), "kernel32.dll",
                                 std::string("\xE8\0\0", 3)};
    while (out.size() < size) {
        switch (random() % 3) {
        case 0: {
            const std::string& w = words[random() % (sizeof words / sizeof words[0])];
            out.insert(out.end(), w.begin(), w.end());
            break;
        }
        case 1:
            for (int i = 0; i < 16; ++i) out.push_back(static_cast<uint8_t>(random()));
            break;
        default:
            for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(i * 3 + out.size() % 5));
        }
    }
    out.resize(size);
    return out;
}

}  // namespace tarvo::packager::test

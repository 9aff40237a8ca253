// A file's bytes, the FNV-1a digest the pinned pictures are compared by, and what a folder holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001B3u;
  return hash;
}

// Each name in the folder with its size and digest, or what else stands there.
inline std::map<std::string, std::string> folderState(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> state;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const fs::path& path = entry.path();
    std::string& what = state[path.filename()];
    if (fs::is_symlink(path)) what = "link to " + fs::read_symlink(path).string();
    else if (!fs::is_regular_file(path)) what = fs::is_fifo(path) ? "fifo" : "folder";
    else {
      const auto bytes = fileBytes(path);
      what = std::to_string(bytes.size()) + " bytes, digest " + std::to_string(fnv1a(bytes.data(), bytes.size()));
    }
  }
  return state;
}

// A fresh folder under /tmp for one test, removed with it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string pattern = "/tmp/limbrik-" + std::string(6, 'X');
    path = ::mkdtemp(pattern.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
};

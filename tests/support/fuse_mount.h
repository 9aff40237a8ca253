// An ext2 image mounted through FUSE with fuse2fs's defaults (as root): a file system without
// unnamed files, whose image on disk shows what a power cut would leave of it.
#pragma once

#include <sys/mount.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

struct FuseMount {
  std::filesystem::path image, at;
  bool mounted = false;
  FuseMount(const std::filesystem::path& folder, const std::string& size)
      : image(folder / "fs.img"), at(folder / "mount") {
    std::filesystem::create_directory(at);
    mounted = std::system(("mke2fs -q -t ext2 -F " + image.string() + " " + size + " && fuse2fs " + image.string() +
                           " " + at.string() + " -o fakeroot").c_str()) == 0;
  }
  ~FuseMount() { ::umount2(at.c_str(), MNT_DETACH); }  // before the folder goes, whatever failed

  // The size the image itself gives a file of the top folder; -1 for none.
  long long sizeOnDisk(const std::string& name) const {
    const std::string command = "debugfs -R 'stat \"/" + name + "\"' " + image.string() + " 2>/dev/null";
    FILE* out = ::popen(command.c_str(), "r");
    std::array<char, 256> line{};
    long long size = -1;
    while (std::fgets(line.data(), line.size(), out) && size < 0)
      std::sscanf(line.data(), "User: %*d Group: %*d Project: %*d Size: %lld", &size);
    ::pclose(out);
    return size;
  }
};

// An ext2 image mounted through FUSE with fuse2fs's defaults (as root): a file system without
// unnamed files, whose image on disk shows what a power cut would leave of it. The mount lives
// in a mount namespace of this process's own and fuse2fs dies with it, so that a test that
// crashes leaves neither behind.
#pragma once

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

struct FuseMount {
  std::filesystem::path image, at;
  pid_t server = -1;  // fuse2fs, which stops when SIGSTOP holds every call on the mount
  bool mounted = false;

  FuseMount(const std::filesystem::path& folder, const std::string& size)
      : image(folder / "fs.img"), at(folder / "mount") {
    std::filesystem::create_directory(at);
    if (!ownMountNamespace() || std::system(("mke2fs -q -t ext2 -F " + image.string() + " " + size).c_str()) != 0) return;
    server = ::fork();
    if (server == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::execlp("fuse2fs", "fuse2fs", image.c_str(), at.c_str(), "-o", "fakeroot", "-f", nullptr);
      ::_exit(127);
    }
    for (int tries = 0; tries < 1000 && server > 0 && !(mounted = device(at) != device(folder)); ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the mount appears, or the server ends
  }
  ~FuseMount() {
    ::umount2(at.c_str(), MNT_DETACH);  // before the folder goes, whatever failed
    if (server <= 0) return;
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
  }

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

 private:
  static dev_t device(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
  }
  // Threads started after it share it; the ones before keep the machine's, and touch no mount.
  static bool ownMountNamespace() {
    static const bool made = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return made;
  }
};

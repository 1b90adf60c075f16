// SPDX-License-Identifier: MIT
// Test support that needs POSIX: folders, children, mounts.
#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

TempDir::TempDir(const std::string& base) {
  const std::string folder = base.empty() ? std::string(TAVREST_BUILD_DIR) + "/test-tmp" : base;
  mkdir(folder.c_str(), 0777);
  std::string pattern = folder + "/tavrest-t-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) abort();
  path = buffer.data();
}

TempDir::~TempDir() {
  std::string command = "rm -rf '" + path + "'";
  if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
}

SmallDisk::SmallDisk(long bytes) {
  path = dir.File("disk");
  mkdir(path.c_str(), 0777);
  std::string options = "size=" + std::to_string(bytes);
  if (mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0) {
    mounted = true;
  } else {
    reason = std::string("cannot mount a small tmpfs here: ") + strerror(errno);
  }
}

SmallDisk::~SmallDisk() {
  if (mounted) umount2(path.c_str(), MNT_DETACH);
}

bool CopyFile(const std::string& from, const std::string& to, int mode) {
  std::vector<uint8_t> bytes;
  return ReadFileBytes(from, bytes) &&
         WriteFileBytes(to, std::string(bytes.begin(), bytes.end())) &&
         chmod(to.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool PathExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

ChildResult RunInChild(const std::function<int()>& body) {
  ChildResult result;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.maxRssKb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

std::string ImageMagickConvert() {
  // The packaged program itself, not any wrapper earlier on the path.
  for (const char* path : {"/usr/bin/convert", "/usr/local/bin/convert"})
    if (access(path, X_OK) == 0) return path;
  return "";
}

bool RunProgram(const std::vector<std::string>& argv, std::vector<uint8_t>& standardOutput) {
  standardOutput.clear();
  int outPipe[2];
  if (argv.empty() || pipe(outPipe) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    close(outPipe[0]);
    dup2(outPipe[1], 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  std::string text = ReadAll(outPipe[0]);
  close(outPipe[0]);
  standardOutput.assign(text.begin(), text.end());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

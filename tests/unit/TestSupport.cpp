#include "TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace lv::test {

std::string FixturePath(const std::string& name) { return std::string(LV_FIXTURE_DIR) + "/" + name; }
std::string PublicPath(const std::string& name) { return std::string(LV_PUBLIC_DIR) + "/" + name; }

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<uint8_t> ReadBinaryFile(const std::string& path) {
  const std::string text = ReadTextFile(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

namespace {
std::string Slurp(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}
int TempFd() {
  char name[] = "/tmp/lv-cli-XXXXXX";
  const int fd = ::mkstemp(name);
  ::unlink(name);
  return fd;
}
}  // namespace

CommandResult RunCli(const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {LV_CLI};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const int outFd = TempFd(), errFd = TempFd();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  CommandResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, LV_CLI, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = Slurp(outFd);
  result.err = Slurp(errFd);
  ::close(outFd);
  ::close(errFd);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

TempFolder::TempFolder() {
  char name[] = "/tmp/lv-test-XXXXXX";
  path_ = ::mkdtemp(name) ? name : "/tmp";
}

TempFolder::~TempFolder() {
  if (path_ != "/tmp") {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

}  // namespace lv::test

#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace lv {

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty()) return std::string(name);
  if (path.back() != '/') path.push_back('/');
  path.append(name);
  return path;
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  if (path.back() != '/') path.push_back('/');
  return path;
}

std::string PreviewFolder() {
  static std::mutex mutex;
  static std::string parent, folder;
  std::lock_guard lock(mutex);
  const std::string temp = TempFolder();
  if (folder.empty() || parent != temp) {
    std::string pattern = temp + "lumenvault-preview-XXXXXX";
    folder = ::mkdtemp(pattern.data()) ? pattern : std::string();
    parent = temp;
  }
  return folder;
}

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "./";
  std::string path(buffer.data(), static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace lv

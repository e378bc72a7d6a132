// Shared helpers of the tests: fixture paths, running the command line,
// hashing files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lv::test {

// Path of an unpacked committed fixture, e.g. FixturePath("mbr-mixed.img").
std::string FixturePath(const std::string& name);
// Path of an unpacked public image, e.g. PublicPath("testfs1.ntfs").
std::string PublicPath(const std::string& name);
bool FileExists(const std::string& path);
std::string ReadTextFile(const std::string& path);
std::vector<uint8_t> ReadBinaryFile(const std::string& path);

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs lumenvault-cli with the arguments (no shell; stdin from /dev/null).
CommandResult RunCli(const std::vector<std::string>& arguments);

// Lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);
std::vector<std::string> SplitTabs(const std::string& line);

// A private temporary folder, removed when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace lv::test

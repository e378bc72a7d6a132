#include "disk/DriveList.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "common/Text.h"

namespace lv {

namespace {

std::string ReadFirstLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  if (in) std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  return line;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsWholeDisk(const std::string& name, const std::filesystem::path& folder) {
  if (StartsWith(name, "loop")) return !ReadFirstLine(folder / "loop" / "backing_file").empty();
  if (StartsWith(name, "mmcblk"))
    return name.find("boot") == std::string::npos && name.find("rpmb") == std::string::npos;
  for (const char* prefix : {"sd", "nvme", "vd", "xvd", "hd"})
    if (StartsWith(name, prefix)) return true;
  return false;
}

// Names in natural order: "sdb" before "sdaa", "loop2" before "loop10".
bool NaturalLess(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) {
    const auto digits = [](const std::string& s) { return s.find_first_of("0123456789"); };
    const size_t da = digits(a), db = digits(b);
    if (da == db && da != std::string::npos && a.compare(0, da, b, 0, db) == 0) return a.size() < b.size();
    if (da == std::string::npos && db == std::string::npos) return a.size() < b.size() || (a.size() == b.size() && a < b);
  }
  return a < b;
}

std::string DecodeOctal(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && text.size() - i >= 4 &&
        std::all_of(text.begin() + static_cast<long>(i) + 1, text.begin() + static_cast<long>(i) + 4,
                    [](char c) { return c >= '0' && c <= '7'; })) {
      out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<PhysicalDrive> EnumeratePhysicalDrives(const std::string& sysBlock) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(sysBlock, error)) {
    const std::string name = item.path().filename().string();
    if (IsWholeDisk(name, item.path())) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  std::vector<PhysicalDrive> drives;
  for (const std::string& name : names) {
    PhysicalDrive drive;
    drive.path = "/dev/" + name;
    const std::string model = ReadFirstLine(std::filesystem::path(sysBlock) / name / "device" / "model");
    drive.text = Utf8ToWide(model.empty() ? drive.path : model);
    drives.push_back(std::move(drive));
  }
  return drives;
}

std::wstring FileSystemOfKernelType(std::string_view type) {
  if (type == "ntfs" || type == "ntfs3") return L"NTFS";
  if (type == "vfat") return L"FAT32";
  if (type == "msdos") return L"FAT16";
  if (type == "exfat") return L"exFAT";
  if (type == "ext2" || type == "ext3" || type == "ext4") return L"extX";
  if (type == "hfsplus") return L"HFS+";
  return L"";
}

bool ParseMountInfoLine(std::string_view line, std::string& mountPoint, std::string& type, std::string& source) {
  // id parent major:minor root mount-point options [optional...] - type source super-options
  std::istringstream in{std::string(line)};
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  const auto dash = std::find(words.begin(), words.end(), "-");
  if (words.size() < 5 || dash == words.end() || words.end() - dash < 3 || dash - words.begin() < 6) return false;
  mountPoint = DecodeOctal(words[4]);
  type = DecodeOctal(*(dash + 1));
  source = DecodeOctal(*(dash + 2));
  return true;
}

std::vector<VolumeEntry> EnumerateLogicalVolumes(const std::string& mountinfo) {
  std::vector<VolumeEntry> volumes;
  std::set<std::string> seen;
  std::ifstream in(mountinfo);
  for (std::string line; std::getline(in, line);) {
    std::string mountPoint, type, source;
    if (!ParseMountInfoLine(line, mountPoint, type, source)) continue;
    if (!StartsWith(source, "/dev/")) continue;
    const std::wstring fileSystem = FileSystemOfKernelType(type == "fuseblk" ? "ntfs" : type);
    if (fileSystem.empty() || !seen.insert(source).second) continue;
    VolumeEntry entry;
    entry.fileSystem = fileSystem;
    entry.label = Utf8ToWide(mountPoint.empty() || mountPoint.back() != '/' ? mountPoint + "/" : mountPoint);
    entry.name = Utf8ToWide(source);
    struct statvfs fs{};
    unsigned long long bytes = 0;
    if (::statvfs(mountPoint.c_str(), &fs) == 0) bytes = static_cast<unsigned long long>(fs.f_blocks) * fs.f_frsize;
    entry.sizeText = Format(L"%d  MB", static_cast<int>(bytes / 1048576));
    entry.startSector = 0;
    volumes.push_back(std::move(entry));
  }
  return volumes;
}

}  // namespace lv

// The commands of lumenvault-cli. Each returns the process exit status:
// 0 success, 1 input refused (the message is on stderr), 2 usage error.
#pragma once

#include <string>
#include <vector>

namespace lv::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

int RunPartitions(const std::vector<std::string>& words);
int RunLs(const std::vector<std::string>& words);
int RunSearch(const std::vector<std::string>& words);
int RunSave(const std::vector<std::string>& words);
int RunCandidates(const std::vector<std::string>& words);
int RunCarve(const std::vector<std::string>& words);
int RunDrives(const std::vector<std::string>& words);

// The summary of every command, and one command's page (null for a word
// that names no command).
extern const char* const kUsage;
const char* CommandUsage(const std::string& command);

// Prints "lumenvault-cli: message" and the usage on stderr; returns kExitUsage.
int UsageError(const std::string& message);

}  // namespace lv::cli

// lumenvault-cli: a headless front end over the recovery core.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Terminal.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  lv::cli::TerminalMessageBox messages;
  lv::SetMessages(&messages);
  if (argc < 2) return lv::cli::UsageError("");
  const std::string command = argv[1];
  const std::vector<std::string> words(argv + 2, argv + argc);
  int status;
  const bool help = std::find_if(words.begin(), words.end(), [](const std::string& word) {
                      return word == "--help" || word == "-h";
                    }) != words.end();
  if (help && lv::cli::CommandUsage(command)) {
    std::fputs(lv::cli::CommandUsage(command), stdout);
    status = lv::cli::kExitOk;
  } else if (command == "partitions") {
    status = lv::cli::RunPartitions(words);
  } else if (command == "ls") {
    status = lv::cli::RunLs(words);
  } else if (command == "search") {
    status = lv::cli::RunSearch(words);
  } else if (command == "save") {
    status = lv::cli::RunSave(words);
  } else if (command == "candidates") {
    status = lv::cli::RunCandidates(words);
  } else if (command == "drives") {
    status = lv::cli::RunDrives(words);
  } else if (command == "carve") {
    status = lv::cli::RunCarve(words);
  } else if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(lv::cli::kUsage, stdout);
    status = lv::cli::kExitOk;
  } else {
    status = lv::cli::UsageError("unknown command " + command);
  }
  lv::SetMessages(nullptr);
  return status;
}

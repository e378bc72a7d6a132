// lumenvault-cli: a headless front end over the recovery core.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/MessageBox.h"

namespace lv::cli {

const char* const kUsage =
    "usage: lumenvault-cli partitions [--gpt] SOURCE\n"
    "       lumenvault-cli partitions --advanced [--no-skip] [--start S] [--end E] SOURCE\n"
    "       lumenvault-cli ls SOURCE [VOLUME] [--categories photo,audio,video] [--unfiltered]\n"
    "       lumenvault-cli search SOURCE [VOLUME] --regex R\n"
    "       lumenvault-cli save SOURCE [VOLUME] [--categories ...] [--unfiltered] --out DIR [PATH ...]\n"
    "  VOLUME: [--volume N [--gpt] | --start-sector S --fs TEXT]\n"
    "          [--mode standard|advanced|deep] [--max N --candidate I --spc N [--heap I]] [--formatted]\n";

int UsageError(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "lumenvault-cli: %s\n", message.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

}  // namespace lv::cli

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  lv::StderrMessageBox messages;
  lv::SetMessages(&messages);
  if (argc < 2) return lv::cli::UsageError("");
  const std::string command = argv[1];
  const std::vector<std::string> words(argv + 2, argv + argc);
  int status;
  if (command == "partitions") {
    status = lv::cli::RunPartitions(words);
  } else if (command == "ls") {
    status = lv::cli::RunLs(words);
  } else if (command == "search") {
    status = lv::cli::RunSearch(words);
  } else if (command == "save") {
    status = lv::cli::RunSave(words);
  } else if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(lv::cli::kUsage, stdout);
    status = lv::cli::kExitOk;
  } else {
    status = lv::cli::UsageError("unknown command " + command);
  }
  lv::SetMessages(nullptr);
  return status;
}

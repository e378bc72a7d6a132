// The usage text of lumenvault-cli.
#include <cstdio>
#include <string>

#include "cli/Commands.h"

namespace lv::cli {

const char* const kUsage =
    "usage: lumenvault-cli partitions [--gpt] SOURCE\n"
    "       lumenvault-cli partitions --advanced [--no-skip] [--start S] [--end E] SOURCE\n"
    "       lumenvault-cli ls SOURCE [VOLUME] [--categories photo,audio,video] [--unfiltered]\n"
    "       lumenvault-cli search SOURCE [VOLUME] --regex R\n"
    "       lumenvault-cli save SOURCE [VOLUME] [--categories ...] [--unfiltered] --out DIR [PATH ...]\n"
    "       lumenvault-cli candidates SOURCE [--volume N [--gpt] | --start-sector S --fs TEXT] --max N\n"
    "  VOLUME: [--volume N [--gpt] | --start-sector S --fs TEXT]\n"
    "          [--mode standard|advanced|deep] [--max N --candidate I --spc N [--heap I]] [--formatted]\n"
    "  save with no PATH saves the tree that ls lists with the same options.\n"
    "  candidates searches for up to N candidates of --mode advanced and prints one line per\n"
    "  candidate: 'candidate', its label and its byte position from the volume's start (NTFS:\n"
    "  of its $MFT record); then one line per sectors-per-cluster value, in the page's order:\n"
    "  'spc', the value, and 'preselected' on the first. --candidate takes a candidate's number\n"
    "  (from 0), --spc one of those values.\n"
    "  save prints one line per written file: the path written, tab, its length. A name already\n"
    "  taken in DIR gets the first free 'name (2).ext'; nothing is overwritten. DIR must not lie\n"
    "  on the device being recovered.\n"
    "  Exit status: 0 success; 1 input refused or a file not written (the message and a count\n"
    "  on stderr); 2 usage error.\n";

int UsageError(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "lumenvault-cli: %s\n", message.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

}  // namespace lv::cli

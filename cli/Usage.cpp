// The usage texts of lumenvault-cli: one summary, one page per command.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"

namespace lv::cli {

namespace {

#define LV_VOLUME_OPTIONS                                                                                   \
  "Choosing the volume (with neither, SOURCE is one volume and its file system is recognised):\n"           \
  "  --volume N [--gpt]        row N of `partitions SOURCE` (add --gpt on a GPT disk)\n"                    \
  "  --start-sector S --fs FS  a volume at 512-byte sector S of kind FS (NTFS, FAT32, FAT16, FAT12,\n"      \
  "                            FAT64, extX, HFS+)\n"                                                        \
  "Recovery mode:\n"                                                                                        \
  "  --mode standard           read the file system as it stands (the default)\n"                           \
  "  --mode deep               read every sector for file records (NTFS: when the MFT is lost;\n"          \
  "                            HFS+: every block for catalog leaf nodes, folders below ORPHAN_ENTRY)\n"     \
  "  --mode advanced --max N --candidate I --spc N [--heap I]\n"                                            \
  "                            read the file system from candidate I of the first N the candidate\n"        \
  "                            search finds, with N sectors per cluster (see `candidates`); on HFS+\n"      \
  "                            --mode advanced alone, the same scan as deep\n"                              \
  "  --formatted               the volume was formatted since the files were lost\n"

#define LV_NAMES                                                                                            \
  "Names: every path component printed or saved is escaped by one rule: \"%\", \"/\" and control\n"         \
  "characters (tab, newline, ...) become %XX in hex, a lone UTF-16 surrogate %uXXXX, a name \".\"\n"        \
  "or \"..\" %2E or %2E%2E, an empty name %00; a name longer than 255 bytes is cut and ends in\n"           \
  "~ and eight hex digits of a hash, then its extension. The path ls prints is the path save writes.\n"

#define LV_EXIT                                                                                             \
  "Exit status: 0 success; 1 the input was refused or a file could not be written (the reason and\n"        \
  "a count on stderr); 2 usage error.\n"

const char* const kPartitionsHelp =
    "usage: lumenvault-cli partitions [--gpt] [--sector-size 512|4096] SOURCE\n"
    "       lumenvault-cli partitions --advanced [--no-skip] [--start S] [--end E] SOURCE\n"
    "\n"
    "Lists the volumes of a drive or disk image from its MBR (every used entry, with the extended\n"
    "chain, in disk order) or, with --gpt, from its GPT (from the backup header when the primary one\n"
    "is damaged, with a note on stderr). A source that is one volume gives one row at sector 0.\n"
    "One line per volume, tab-separated: row number (what --volume takes), file-system kind, size\n"
    "text, first sector (512-byte sectors, whatever the disk's sector size).\n"
    "  --sector-size N           the tables count in N-byte sectors (default: the device's own, or\n"
    "                            for an image the size its GPT header or MBR agrees with)\n"
    "  --advanced                ignore the tables: read the source in 1 MiB blocks and test every\n"
    "                            sector for an NTFS, FAT or exFAT boot sector, an HFS+ header or an\n"
    "                            ext superblock; rows are printed as they are found\n"
    "  --no-skip                 test the sectors inside each volume found too (lists backup boot\n"
    "                            sectors); by default the scan jumps over each volume\n"
    "  --start S, --end E        scan from sector S; no 1 MiB block that starts past sector E is read\n"
    "\n"
    "A source where nothing is recognised gives no rows and says so on stderr.\n"
    "\n" LV_EXIT
    "\n"
    "Example: lumenvault-cli partitions --gpt /dev/sdb\n";

const char* const kLsHelp =
    "usage: lumenvault-cli ls SOURCE [VOLUME OPTIONS] [--categories photo,audio,video] [--unfiltered]\n"
    "\n"
    "Lists the results tree of a volume: its photos, audio and video, live and deleted, in the\n"
    "folders that hold them. One line per item, parents before children, tab-separated: d (folder)\n"
    "or f (file), live or deleted, size in bytes (0 for a folder), path below the volume's root.\n"
    "  --categories LIST         only these kinds (default: all three)\n"
    "  --unfiltered              every entry reachable from the root, whatever its kind\n"
    "\n" LV_VOLUME_OPTIONS "\n" LV_NAMES "\n" LV_EXIT
    "\n"
    "Example: lumenvault-cli ls disk.img --volume 1 --categories photo\n";

const char* const kSearchHelp =
    "usage: lumenvault-cli search SOURCE [VOLUME OPTIONS] --regex R\n"
    "\n"
    "Finds the files whose names match the regular expression R (ECMAScript, case ignored in every\n"
    "script; \"|\" separates alternatives) among the files of the chosen kinds. One line per match,\n"
    "tab-separated: full path (from ROOT), creation, access and modification times, size text,\n"
    "attributes. R is checked before the volume is read.\n"
    "\n" LV_VOLUME_OPTIONS "\n" LV_NAMES "\n" LV_EXIT
    "\n"
    "Example: lumenvault-cli search card.img --regex 'IMG_|DSC'\n";

const char* const kSaveHelp =
    "usage: lumenvault-cli save SOURCE [VOLUME OPTIONS] [--categories ...] [--unfiltered] --out DIR\n"
    "                           [PATH ...]\n"
    "\n"
    "Saves the folders and files at the tree paths PATH (as ls prints them) into DIR, with the times\n"
    "recorded on the volume; with no PATH, the whole tree ls lists with the same options. One line\n"
    "per written file on stdout, tab-separated: the path written, its length in bytes. A name\n"
    "already taken in DIR gets the first free 'name (2).ext': nothing is overwritten. Sparse data is\n"
    "written as holes; no link inside DIR is followed. DIR must not lie on the device being\n"
    "recovered: such a save is refused before anything is read, and a refused save creates nothing.\n"
    "On a terminal, stderr shows the files and bytes written so far.\n"
    "\n" LV_VOLUME_OPTIONS "\n" LV_NAMES "\n" LV_EXIT
    "\n"
    "Example: lumenvault-cli save disk.img --volume 1 --out ~/recovered Pictures/2019\n";

const char* const kCandidatesHelp =
    "usage: lumenvault-cli candidates SOURCE [--volume N [--gpt] | --start-sector S --fs FS] --max N\n"
    "\n"
    "Searches the volume for places where a file table (NTFS: an MFT) begins, up to N of them (3\n"
    "when N is below 1), and prints what the advanced mode offers, tab-separated: one line per\n"
    "candidate, in the order found: 'candidate', its label, its byte position from the volume's\n"
    "start (NTFS: of its $MFT record); then one line per sectors-per-cluster value, in the order\n"
    "offered: 'spc', the value, and 'preselected' on the first. stderr says how to read one:\n"
    "  lumenvault-cli ls SOURCE --mode advanced --max N --candidate I --spc S\n"
    "with I a candidate's number (from 0) and S one of the listed values; --spc takes no other.\n"
    "\n" LV_EXIT
    "\n"
    "Example: lumenvault-cli candidates disk.img --volume 1 --max 3\n";

const char* const kCarveHelp =
    "usage: lumenvault-cli carve SOURCE [--volume N [--gpt] | --start-sector S] [--size-mib M]\n"
    "                           [--settings FILE] [--no-default] [--out DIR] [--min-size BYTES]\n"
    "\n"
    "Raw recovery: finds files by their signatures in a sector range, whatever file system is left\n"
    "(a formatted card, a lost partition). The rules come from the default FileSetting.txt beside\n"
    "the program and from --settings FILE (records of the settings editor). One line per item in\n"
    "find order, tab-separated: category, label (start offset, \" .\" and extension), start offset\n"
    "in bytes from the range's start, size in bytes.\n"
    "  --volume N [--gpt]        the range is row N of `partitions SOURCE` (its size in whole MiB)\n"
    "  --start-sector S          the range starts at 512-byte sector S (default 0) and runs to the end\n"
    "  --size-mib M              carve at most M MiB\n"
    "  --settings FILE           rules of a settings file, after the default ones\n"
    "  --no-default              only the rules of --settings\n"
    "  --out DIR                 save every listed item into DIR under its label (a copy ends on a\n"
    "                            whole sector, so it may hold up to 511 bytes past the item)\n"
    "  --min-size BYTES          leave out items smaller than BYTES\n"
    "Unreadable sectors are skipped and counted on stderr. On a terminal, stderr shows the MiB\n"
    "carved so far.\n"
    "\n" LV_NAMES "\n" LV_EXIT
    "\n"
    "Example: lumenvault-cli carve card.img --out ~/recovered --min-size 4096\n";

const char* const kDrivesHelp =
    "usage: lumenvault-cli drives\n"
    "\n"
    "The drives and mounted volumes of this machine, as the desktop program's first page lists\n"
    "them: the line \"     VOLUMES:\", then one line per mounted volume (tab, mount point ending\n"
    "in \"/\", device, file system, size), the line \"     PHYSICAL DRIVES:\", then one line per\n"
    "whole disk (tab, model name or path, path). Needs no rights.\n";

struct CommandHelp {
  const char* command;
  const char* text;
};

const CommandHelp kCommandHelp[] = {
    {"partitions", kPartitionsHelp}, {"ls", kLsHelp},       {"search", kSearchHelp},
    {"save", kSaveHelp},             {"candidates", kCandidatesHelp}, {"carve", kCarveHelp},
    {"drives", kDrivesHelp},
};

}  // namespace

const char* const kUsage =
    "usage: lumenvault-cli COMMAND SOURCE [OPTIONS]\n"
    "\n"
    "Recovers photos, audio and video from a drive, a volume or a disk image (SOURCE), which it\n"
    "only reads. Commands:\n"
    "  partitions SOURCE [--gpt]                 the volumes of a partitioned disk\n"
    "  partitions --advanced SOURCE              the volumes found sector by sector (lost tables)\n"
    "  ls SOURCE [VOLUME OPTIONS]                the files found, live and deleted\n"
    "  search SOURCE [VOLUME OPTIONS] --regex R  the files whose names match R\n"
    "  save SOURCE [VOLUME OPTIONS] --out DIR [PATH ...]\n"
    "                                            save files and folders into DIR\n"
    "  candidates SOURCE [VOLUME] --max N        where a lost file table may begin\n"
    "  carve SOURCE [--out DIR]                  files found by their signatures alone\n"
    "  drives                                    the drives and mounted volumes of this machine\n"
    "`lumenvault-cli COMMAND --help` describes a command, its options and output.\n"
    "\n" LV_VOLUME_OPTIONS "\n" LV_NAMES "\n" LV_EXIT;

const char* CommandUsage(const std::string& command) {
  for (const CommandHelp& help : kCommandHelp)
    if (command == help.command) return help.text;
  return nullptr;
}

int UsageError(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "lumenvault-cli: %s\n", message.c_str());
  std::fputs("usage: lumenvault-cli COMMAND SOURCE [OPTIONS]; `lumenvault-cli --help` lists the commands, "
             "`lumenvault-cli COMMAND --help` describes one\n",
             stderr);
  return kExitUsage;
}

}  // namespace lv::cli

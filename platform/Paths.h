// Paths of this system: "/" separates components; every path the program
// builds goes through JoinPath.
#pragma once

#include <string>
#include <string_view>

namespace lv {

// folder + "/" + name, without doubling a separator that folder already ends with.
std::string JoinPath(std::string_view folder, std::string_view name);
// $TMPDIR, or /tmp, ending in "/".
std::string TempFolder();
// This run's private folder for preview copies: made with mkdtemp (mode
// 0700) below TempFolder() on first use, so other users cannot plant files
// or links where the copies go. Without a trailing "/"; empty when it cannot
// be made.
std::string PreviewFolder();
// The folder of the running executable, ending in "/".
std::string ProgramFolder();

}  // namespace lv

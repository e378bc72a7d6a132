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
// The folder of the running executable, ending in "/".
std::string ProgramFolder();

}  // namespace lv

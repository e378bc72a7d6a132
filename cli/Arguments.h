// Command-line parsing for lumenvault-cli: options and positional words.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lv::cli {

class Arguments {
 public:
  // `flags` take no value; `valued` take the next word as their value.
  Arguments(const std::vector<std::string>& words, const std::set<std::string>& flags,
            const std::set<std::string>& valued);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool Has(const std::string& option) const { return present_.count(option) != 0; }
  std::optional<std::string> Value(const std::string& option) const;
  // An integer option; error() is set when the value is not an integer.
  std::optional<long long> Integer(const std::string& option);
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::set<std::string> present_;
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
  std::string error_;
};

}  // namespace lv::cli

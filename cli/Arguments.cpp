#include "cli/Arguments.h"

#include <cerrno>
#include <cstdlib>

namespace lv::cli {

Arguments::Arguments(const std::vector<std::string>& words, const std::set<std::string>& flags,
                     const std::set<std::string>& valued) {
  bool optionsEnded = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (!optionsEnded && w == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && w.size() > 2 && w.compare(0, 2, "--") == 0) {
      std::string name = w, value;
      const size_t eq = w.find('=');
      const bool inlineValue = eq != std::string::npos;
      if (inlineValue) name = w.substr(0, eq), value = w.substr(eq + 1);
      if (flags.count(name) && !inlineValue) {
        present_.insert(name);
      } else if (valued.count(name)) {
        if (!inlineValue) {
          if (i + 1 >= words.size()) {
            error_ = "option " + name + " needs a value";
            return;
          }
          value = words[++i];
        }
        present_.insert(name);
        values_[name] = value;
      } else {
        error_ = "unknown option " + w;
        return;
      }
    } else {
      positional_.push_back(w);
    }
  }
}

std::optional<std::string> Arguments::Value(const std::string& option) const {
  const auto it = values_.find(option);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<long long> Arguments::Integer(const std::string& option) {
  const auto text = Value(option);
  if (!text) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text->c_str(), &end, 10);
  if (text->empty() || *end != '\0' || errno == ERANGE) {
    error_ = "option " + option + " needs an integer, not '" + *text + "'";
    return std::nullopt;
  }
  return v;
}

}  // namespace lv::cli

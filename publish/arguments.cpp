#include "publish/arguments.h"

#include <algorithm>

namespace {

bool Among(const std::vector<std::string>& names, const std::string& word)
{
    return std::find(names.begin(), names.end(), word) != names.end();
}

}  // namespace

Arguments::Arguments(const std::vector<std::string>& words, const std::vector<std::string>& flags,
                     const std::vector<std::string>& valued)
{
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.compare(0, 2, "--") != 0) {
            positional_.push_back(word);
        } else if (Among(flags, word)) {
            options_[word] = "";
        } else if (Among(valued, word) && i + 1 < words.size()) {
            options_[word] = words[++i];
        } else {
            usable_ = false;
        }
    }
}

std::string Arguments::Value(const std::string& option) const
{
    auto found = options_.find(option);
    return found == options_.end() ? std::string() : found->second;
}

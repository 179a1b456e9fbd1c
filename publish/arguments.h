// A verb's words: positional ones in order, and options, with or without a
// value. An option the verb does not know, or one without its value, makes
// the words unusable.
#pragma once
#include <map>
#include <string>
#include <vector>

class Arguments {
public:
    // flags take no value, valued options take the next word.
    Arguments(const std::vector<std::string>& words, const std::vector<std::string>& flags,
              const std::vector<std::string>& valued);

    bool Usable() const { return usable_; }
    size_t Count() const { return positional_.size(); }
    const std::string& At(size_t index) const { return positional_.at(index); }
    bool Has(const std::string& option) const { return options_.count(option) != 0; }
    // The option's value; empty when it was not given.
    std::string Value(const std::string& option) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> options_;
    bool usable_ = true;
};

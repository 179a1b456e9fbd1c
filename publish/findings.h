// What a check found, one line each: how much it matters, where, what is
// wrong, what the player will see and how to fix it.
#pragma once
#include <string>
#include <vector>

enum class Severity {
    Hurts,  // a player's download fails, or may end with wrong bytes
    Costs,  // it works, but slower or with more bytes than it should
    Note,   // worth knowing
};

struct Finding {
    Severity severity;
    std::string where, what, player, fix;
};

class Findings {
public:
    void Add(Severity severity, const std::string& where, const std::string& what, const std::string& player,
             const std::string& fix);
    bool Hurt() const;
    // Every finding, then a summary line.
    std::string Report(size_t files, size_t servers) const;

private:
    std::vector<Finding> found_;
};

#include "publish/findings.h"

#include <algorithm>

namespace {

const char* Label(Severity severity)
{
    switch (severity) {
    case Severity::Hurts: return "error";
    case Severity::Costs: return "warning";
    case Severity::Note: return "note";
    }
    return "";
}

}  // namespace

void Findings::Add(Severity severity, const std::string& where, const std::string& what, const std::string& player,
                   const std::string& fix)
{
    found_.push_back({severity, where, what, player, fix});
}

bool Findings::Hurt() const
{
    return std::any_of(found_.begin(), found_.end(), [](const Finding& f) { return f.severity == Severity::Hurts; });
}

std::string Findings::Report(size_t files, size_t servers) const
{
    std::string report;
    size_t counts[3] = {};
    for (const Finding& f : found_) {
        ++counts[static_cast<int>(f.severity)];
        report += std::string(Label(f.severity)) + " " + f.where + ": " + f.what;
        if (!f.player.empty()) report += "; the player: " + f.player;
        if (!f.fix.empty()) report += "; fix: " + f.fix;
        report += "\n";
    }
    return report + "checked " + std::to_string(files) + " files on " + std::to_string(servers) + " servers: " +
           std::to_string(counts[0]) + " errors, " + std::to_string(counts[1]) + " warnings, " +
           std::to_string(counts[2]) + " notes\n";
}

#include "engine_script.h"

#include <cstdlib>
#include <sstream>

namespace {

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> Split(const std::string& text, const char* separators)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find_first_of(separators, start);
        parts.push_back(Trim(text.substr(start, end - start)));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

bool ParseStep(const std::string& text, ScriptStep* step)
{
    static const struct {
        const char* word;
        ScriptStep::Kind kind;
        int32_t code;  // 0: the code is the step's first number; the value follows
    } kWords[] = {
        {"started", ScriptStep::Raise, 1001},   {"progress", ScriptStep::Raise, 1002},
        {"finished", ScriptStep::Raise, 1004},  {"error", ScriptStep::Raise, 1020},
        {"event", ScriptStep::Raise, 0},        {"null", ScriptStep::RaiseWithoutContext, 0},
        {"wait", ScriptStep::Wait, -1},         {"refuse", ScriptStep::Refuse, -1},
    };
    std::istringstream in(text);
    std::string word;
    in >> word;
    for (const auto& known : kWords) {
        if (word != known.word) continue;
        step->kind = known.kind;
        step->code = known.code;
        if (known.code == 0 && !(in >> step->code)) return false;
        long long value = 0;
        if (!(in >> value)) return false;
        step->value = static_cast<uint64_t>(value);
        in >> std::ws;
        return in.eof();
    }
    return false;
}

}  // namespace

void EngineScript::Load(const std::string& text, std::vector<std::string>* errors)
{
    entries_.clear();
    used_.clear();
    for (const std::string& entry : Split(text, "\n|")) {
        if (entry.empty()) continue;
        const size_t colon = entry.find(':');
        if (colon == std::string::npos) {
            errors->push_back(entry);
            continue;
        }
        StepList steps;
        for (const std::string& stepText : Split(entry.substr(colon + 1), ",")) {
            ScriptStep step;
            if (stepText.empty()) continue;
            if (ParseStep(stepText, &step))
                steps.push_back(step);
            else
                errors->push_back(stepText);
        }
        entries_[Trim(entry.substr(0, colon))].push_back(steps);
    }
}

StepList EngineScript::Next(const std::string& name)
{
    auto found = entries_.find(name);
    if (found == entries_.end() || found->second.empty()) return {};
    size_t& used = used_[name];
    const size_t index = used < found->second.size() ? used : found->second.size() - 1;
    ++used;
    return found->second[index];
}

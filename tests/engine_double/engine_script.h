// The script of the contract-checking engine: which events each transfer
// raises, keyed by the file's local name.
//
// Entries are "name: step, step, ..." separated by newlines or "|". Each
// StartDownload of a URL whose last "/" segment is name takes the next
// entry for that name; the last one is used again. Steps:
//   started N, progress N, finished N   events 1001, 1002, 1004 with byte count N
//   error N                             event 1020 with error code N
//   event C N                           any event code C with value N
//   null C N                            event C with a null context
//   wait MS                             pause before the next step
//   refuse R                            StartDownload answers R, nothing is raised
// The entry named "folder" scripts SetDownloadFolder: "folder: refuse -1".
// A transfer whose steps end without finished or error holds until it is
// cancelled.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ScriptStep {
    enum Kind { Raise, RaiseWithoutContext, Wait, Refuse } kind = Raise;
    int32_t code = 0;
    uint64_t value = 0;
};

using StepList = std::vector<ScriptStep>;

class EngineScript {
public:
    // Replaces the script; the texts of steps it cannot read go to errors.
    void Load(const std::string& text, std::vector<std::string>* errors);
    // The steps of the next transfer of name (none when unscripted).
    StepList Next(const std::string& name);

private:
    std::map<std::string, std::vector<StepList>> entries_;
    std::map<std::string, size_t> used_;
};

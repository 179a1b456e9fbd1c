// The contract-checking engine library as a test sees it: its log, split
// into the program's calls and the breaches of the contract, and its script.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/engine_contract.h"

class ContractLibrary {
public:
    ContractLibrary() = default;
    ~ContractLibrary() { Unload(); }
    ContractLibrary(const ContractLibrary&) = delete;
    ContractLibrary& operator=(const ContractLibrary&) = delete;

    // Loads the library from path (the program may hold it too); a module of
    // its own keeps the log alive after the program lets go.
    bool Load(const std::string& path);
    void Unload();
    bool Loaded() const { return module_ != nullptr; }
    HMODULE Module() const { return module_; }

    // The table, obtained as start-up does, for a test that plays the program.
    EngineInterface* Obtain(EngineCallback* callback) const;
    void Script(const std::string& script) const;

    std::vector<std::string> Log() const;
    // The log without events and violations: the program's calls, in order.
    std::vector<std::string> Calls() const;
    std::vector<std::string> Violations() const;
    bool Logged(const std::string& line) const;

private:
    HMODULE module_ = nullptr;
};

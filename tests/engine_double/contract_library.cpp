#include "contract_library.h"

#include <sstream>

#include "contract_engine.h"

namespace {

// Through void*: FARPROC says nothing of the export's real type.
template <class Proc> Proc Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

bool ContractLibrary::Load(const std::string& path)
{
    Unload();
    module_ = LoadLibraryA(path.c_str());
    return module_ != nullptr;
}

void ContractLibrary::Unload()
{
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

EngineInterface* ContractLibrary::Obtain(EngineCallback* callback) const
{
    return Export<GetVDInterfaceProc>(module_, "GetVDInterface")("svc", "", callback, 1, 0, 0, 2, GetDesktopWindow());
}

void ContractLibrary::Script(const std::string& script) const
{
    Export<ContractScriptProc>(module_, "ContractScript")(script.c_str());
}

std::vector<std::string> ContractLibrary::Log() const
{
    std::vector<std::string> lines;
    if (module_ == nullptr) return lines;
    std::istringstream in(Export<ContractLogProc>(module_, "ContractLog")());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> ContractLibrary::Calls() const
{
    std::vector<std::string> calls;
    for (const std::string& line : Log())
        if (!StartsWith(line, "event ") && !StartsWith(line, "violation: ")) calls.push_back(line);
    return calls;
}

std::vector<std::string> ContractLibrary::Violations() const
{
    std::vector<std::string> violations;
    for (const std::string& line : Log())
        if (StartsWith(line, "violation: ")) violations.push_back(line);
    return violations;
}

bool ContractLibrary::Logged(const std::string& line) const
{
    for (const std::string& logged : Log())
        if (logged == line) return true;
    return false;
}

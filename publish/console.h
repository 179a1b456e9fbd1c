// What the command says: its output on standard output, byte for byte (a
// document written there is the document), and one line per finding or
// failure on standard error.
#pragma once
#include <string>

// Exit codes of every verb.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the work could not be done, or a player would be hurt
constexpr int kExitUsage = 2;   // words the verb does not take

bool WriteOut(const std::string& bytes);
void Say(const std::string& line);  // one line on standard error

// Reads a whole local file; false when it cannot be read.
bool ReadLocalFile(const std::string& path, std::string& bytes);
// Writes bytes beside path, then moves them over it (common/file_system.h).
bool WriteLocalFile(const std::string& path, const std::string& bytes);
// Writes a file that must not exist yet; false (and nothing changed) when
// it does.
bool WriteNewLocalFile(const std::string& path, const std::string& bytes);

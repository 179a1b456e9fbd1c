// A probe without network: sizes by URL, some URLs unreachable.
#pragma once
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "config/documents.h"

struct FakeProbe {
    std::map<std::string, std::string> sizes;  // URL -> Content-Length text; absent = none sent
    std::set<std::string> unreachable;
    std::set<std::string> missing;  // answered with an error status
    std::vector<std::string> calls;
    std::vector<std::string> agents;

    // Answers when asked for the answer, so calls holds the files whose
    // answers the walk took.
    ProbeStart Function()
    {
        return [this](const char* url, const char* agent) {
            return [this, name = std::string(url), agent](char* sizeText) {
                calls.push_back(name);
                agents.push_back(agent);
                if (unreachable.count(name)) return SizeAnswer::NotMade;
                if (missing.count(name)) return SizeAnswer::Missing;
                auto it = sizes.find(name);
                if (it != sizes.end()) CopyText(sizeText, kTextSize, it->second.c_str());
                return SizeAnswer::Answered;
            };
        };
    }
};

// The start tag of a document's Download element, edited in place: what
// the sign verb changes in a document, every other byte kept as it was.
#pragma once
#include <string>
#include <utility>
#include <vector>

using Attribute = std::pair<std::string, std::string>;

// Gives the document's first element, which must be Download, these
// attributes: an existing value is replaced, a new attribute is added after
// the element's name. The values are written between double quotes as
// given, so they must not hold one. False, with why, when the tag cannot
// be read.
bool SetDownloadAttributes(std::string& document, const std::vector<Attribute>& attributes, std::string& why);

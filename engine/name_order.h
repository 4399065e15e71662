#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/case_fold.h"

namespace skorvatin {

// List order: ascending by Unicode simple case folding, code point by code point (a stray byte
// that is not UTF-8 counts as its own value, after every character); ties broken by the raw
// bytes so that the order is total and the same on every machine.
int compareNames(std::string_view a, std::string_view b);
inline bool nameLess(std::string_view a, std::string_view b) {
  return compareNames(a, b) < 0;
}

// Puts names into list order. A large folder spends most of a read here: most comparisons are
// settled by the first eight folded bytes taken as one number, and only names that agree there are
// compared in full.
void sortInListOrder(std::vector<std::string>& names);

}  // namespace skorvatin

#pragma once
// What the probes running inside the test machine share.
#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

namespace skorvatin::probe {

// The names of a folder as readdir spells them, sorted: a case-only rename must show here, not
// only in lookups.
inline std::vector<std::string> listing(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace skorvatin::probe

#pragma once

#include <string>

#include "bench/bench_folder.h"
#include "bench/bench_stats.h"

namespace skorvatin::bench {

// 4. The window, offscreen in this process: a key release in the mask box until the file list
// has drawn the re-read list, against the engine's list read alone; and a click on "Numeruj"
// until the list has drawn the new names, against the numbering run alone.
void benchWindow(Report& report, bool quick, BenchFolder& folder, const std::string& fs, int n);

}  // namespace skorvatin::bench

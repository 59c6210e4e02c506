#pragma once
// What the benchmark's parts share: the arithmetic of their figures, and
// the parts kept in files of their own.
#include <windows.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/Clock.h"

inline double Percentile(std::vector<double> times, double fraction) {
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, static_cast<std::size_t>(fraction * times.size()))];
}

// Median milliseconds of one run of the action.
template <typename F>
double MedianMs(int runs, F action) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = kb::MillisecondsNow();
        action();
        times.push_back(kb::MillisecondsNow() - start);
    }
    return Percentile(times, 0.5);
}

namespace kb::bench {

// The running program's wake-ups, full checks and checks so far.
std::array<unsigned long, 3> Counters(HWND window);
// Part 0: the idle program's memory against a bare notification-area program.
void IdleMemory();
// Part 6: the scheduled tasks, with 250 definitions in the prefix's folder.
void ScheduledTasks();
// Part 7: the services, made through the prefix's manager up to 600.
void Services();

}  // namespace kb::bench

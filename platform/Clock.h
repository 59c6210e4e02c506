#pragma once
// A clock for measuring how long work takes.
namespace kb {

// Milliseconds on the performance counter: only differences mean anything.
double MillisecondsNow() noexcept;

}  // namespace kb

#pragma once
// A startup command line as Windows reads it when it starts it: which
// program, and with which arguments.
#include <string>

namespace kb {

struct ProgramAndArguments {
    std::wstring program;    // as written, quotes removed
    std::wstring arguments;  // the rest, leading blanks removed
};

// A quoted program runs to its closing quote. An unquoted one is, as
// CreateProcess tries them, the shortest part up to a blank (or the end)
// that names an existing file, ".exe" added where it has no extension
// (environment variables expanded for that test only); the first word
// when none does.
ProgramAndArguments SplitCommandLine(const std::wstring& command);

}  // namespace kb

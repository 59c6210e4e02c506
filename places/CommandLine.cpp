#include "places/CommandLine.h"

#include <windows.h>

#include "platform/Environment.h"
#include "platform/Files.h"

namespace kb {

namespace {

bool NamesAProgram(const std::wstring& candidate) {
    const std::wstring path = ExpandedEnvironment(candidate);
    if (FileExists(path)) return true;
    const auto slash = path.find_last_of(L"\\/");
    const auto dot = path.rfind(L'.');
    const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    return !hasExtension && FileExists(path + L".exe");
}

std::wstring WithoutLeadingBlanks(const std::wstring& text) {
    const auto first = text.find_first_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first);
}

}  // namespace

ProgramAndArguments SplitCommandLine(const std::wstring& command) {
    const std::wstring line = WithoutLeadingBlanks(command);
    if (line.empty()) return {};
    if (line.front() == L'"') {
        const auto close = line.find(L'"', 1);
        if (close == std::wstring::npos) return {line.substr(1), {}};
        return {line.substr(1, close - 1), WithoutLeadingBlanks(line.substr(close + 1))};
    }
    for (std::size_t blank = line.find_first_of(L" \t"); blank != std::wstring::npos;
         blank = line.find_first_of(L" \t", blank + 1)) {
        if (NamesAProgram(line.substr(0, blank)))
            return {line.substr(0, blank), WithoutLeadingBlanks(line.substr(blank))};
    }
    if (NamesAProgram(line)) return {line, {}};
    const auto blank = line.find_first_of(L" \t");
    if (blank == std::wstring::npos) return {line, {}};
    return {line.substr(0, blank), WithoutLeadingBlanks(line.substr(blank))};
}

}  // namespace kb

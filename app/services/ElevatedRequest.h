#pragma once
// What the running guard asks its elevated instance to do. The request
// travels in a section of memory the guard holds, never on the command
// line, which any program of the user can write: the command line only
// names the guard's process and the section's handle there. The elevated
// instance takes the section from that process (also where another
// administrator's account lent it the rights: see ProcessAccess), and acts only when the
// process is a Keepboot of its own program file and the request was not
// taken before: one request, one use. A forged command line names no such
// section, or one holding what the guard itself asked for.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Handle.h"

namespace kb {

class ElevatedRequest {
public:
    // None when the section cannot be made.
    static std::optional<ElevatedRequest> Make(const std::vector<std::wstring>& arguments);
    // The process and the handle, as the command line names them.
    std::wstring CommandLine() const;
    // Whether the instance that took the request marked the argument as
    // acted on: what it did for each entry, not only how many it missed.
    bool Marked(std::size_t argument) const;

private:
    UniqueHandle section_;
    std::size_t count_ = 0;
};

// The elevated instance's marks on the request it took, one per argument.
class RequestMarks {
public:
    void Mark(std::size_t argument) noexcept;

private:
    friend std::optional<std::vector<std::wstring>> TakeElevatedRequest(const std::vector<std::wstring>&,
                                                                        std::size_t, const std::wstring&,
                                                                        RequestMarks*);
    std::shared_ptr<void> view_;  // the section, mapped
    volatile BYTE* marks_ = nullptr;
    std::size_t count_ = 0;
};

// In the elevated instance: the arguments of the request that texts[at] and
// texts[at + 1] name, taken; none when they name none of a Keepboot of the
// program file given, or one taken before. With marks, what it acts on can
// be marked for the guard that asked.
std::optional<std::vector<std::wstring>> TakeElevatedRequest(const std::vector<std::wstring>& texts,
                                                             std::size_t at, const std::wstring& executable,
                                                             RequestMarks* marks = nullptr);

// Whether this process runs as the system itself (the Windows Installer's
// deferred actions do).
bool RunsAsTheSystem();
// Whether this is Wine, which has no system account: every process has every
// right there, so its installer's request is taken as the system's.
bool RunsUnderWine();

}  // namespace kb

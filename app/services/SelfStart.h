#pragma once
// How the program makes Windows start it, hidden, at every logon: a logon
// task with the user's full rights (Task Scheduler 2.0, Vista and later),
// or the value "Keepboot" in the machine's Run key where there is no such
// scheduler (XP).
#include <memory>
#include <string>

namespace kb {

// The machine's Run key, as the self-start entry names it.
inline constexpr wchar_t kSelfStartKey[] = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// The argument of the elevated instance that sets the self-start up
// ("on") or removes it ("off") and ends.
inline constexpr wchar_t kSelfStartArgument[] = L"-selfstart";

class SelfStart {
public:
    enum class Result { Done, NeedsAdministrator };
    virtual ~SelfStart() = default;
    // Whether Windows starts the program at logon now.
    virtual bool Registered() const = 0;
    // Sets it up for the program file, or removes it. Raises when that
    // cannot be done for another reason than a lack of rights; removing
    // what is not there does nothing.
    virtual Result Set(bool on, const std::wstring& executable) = 0;
    // Whether it is an entry of a place the watch guards (the Run value):
    // the logon task is never one.
    virtual bool GuardedEntry() const { return false; }
};

// The value "Keepboot" = "<executable>" -start in the machine's Run key:
// Windows XP's way, which has no Task Scheduler 2.0.
std::unique_ptr<SelfStart> RunValueSelfStart();
// The logon task of that user (by SID), named for them: at that user's
// logon, with the highest rights the user has, at normal priority, no time
// limit, not stopped on battery, starting "<executable>" -start. Each user
// has their own; making one touches no other user's. Making it removes a
// Run value an earlier version left, and that version's one task when it was
// this user's; removing it removes the Run value too.
std::unique_ptr<SelfStart> LogonTaskSelfStart(const std::wstring& userSid);
// Its name: "Keepboot (<SID>)".
std::wstring LogonTaskName(const std::wstring& userSid);
// The user's self-start as this Windows has it: the logon task on Vista and
// later (where the scheduler does not answer, a change says so), the Run
// value on XP.
std::unique_ptr<SelfStart> SystemSelfStart(const std::wstring& userSid);
// Removes every Keepboot logon task on the machine, every user's, and the
// Run value: what removing the program does. False where the scheduler did
// not answer in time, which leaves the tasks.
bool RemoveEverySelfStart();

// The task's definition, as Task Scheduler 2.0 takes it.
std::wstring LogonTaskXml(const std::wstring& executable, const std::wstring& userSid);

}  // namespace kb

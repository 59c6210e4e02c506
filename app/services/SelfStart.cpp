#include "app/services/SelfStart.h"

#include <windows.h>
#include <sddl.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <vector>

#include "kinds/TaskFiles.h"
#include "platform/AppTitle.h"
#include "platform/Bstr.h"
#include "platform/CurrentUser.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Handle.h"
#include "platform/Registry.h"
#include "platform/ServiceCall.h"
#include "platform/TaskScheduler.h"
#include "app/Texts.h"

namespace kb {

using Microsoft::WRL::ComPtr;

namespace {

class RunValue final : public SelfStart {
public:
    bool GuardedEntry() const override { return true; }

    bool Registered() const override {
        const OpenedKey run = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, kSelfStartKey);
        return run && run->HasValue(kAppTitle);
    }

    Result Set(bool on, const std::wstring& executable) override {
        const Error cannotWrite(UiText(IDS_UNABLE_TO_WRITE, {std::wstring(L"HKEY_LOCAL_MACHINE") + kSelfStartKey}));
        // Nothing to remove is no failure, even for a user who may not write there.
        if (!on && !Registered()) return Result::Done;
        // Where this is the way (XP) there is no elevation to ask for: a
        // refusal is reported.
        OpenedKey run = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kSelfStartKey);
        if (!run) throw cannotWrite;
        if (!on) {
            if (run->DeleteValue(kAppTitle) != ERROR_SUCCESS) throw cannotWrite;
            return Result::Done;
        }
        run->WriteString(kAppTitle, L"\"" + executable + L"\" -start");
        return Result::Done;
    }
};

std::wstring XmlEscaped(const std::wstring& text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        switch (c) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        case L'"': escaped += L"&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}


// The name an earlier version gave the one task it made, for whoever
// ticked the box last.
constexpr wchar_t kEarlierTaskName[] = L"Keepboot";

class LogonTask final : public SelfStart {
public:
    explicit LogonTask(std::wstring userSid) : sid_(std::move(userSid)), name_(LogonTaskName(sid_)) {}

    bool Registered() const override {
        return Asked<bool>([name = name_] {
            const ComPtr<ITaskFolder> root = TaskRoot();
            ComPtr<IRegisteredTask> task;
            return root && SUCCEEDED(root->GetTask(Bstr(name), &task));
        });
    }

    Result Set(bool on, const std::wstring& executable) override {
        // A task that runs with the highest rights is an administrator's to make.
        if (StandardUserMode()) return Result::NeedsAdministrator;
        const Result result = Asked<Result>([name = name_, sid = sid_, on, executable] {
            return SetInScheduler(name, sid, on, executable);
        });
        // The Run value of an earlier version: the task replaces it.
        if (result == Result::Done) return RunValueSelfStart()->Set(false, executable);
        return result;
    }

private:
    // The scheduler's answer within its time limit; its silence is said.
    template <typename Answer>
    static Answer Asked(std::function<Answer()> ask) {
        if (std::optional<Answer> answer = AskService<Answer>(SystemService::TaskScheduler, std::move(ask)))
            return *answer;
        throw Error(UiText(IDS_SCHEDULER_SILENT, {std::to_wstring(AnswerLimitMs(SystemService::TaskScheduler) / 1000)}));
    }

    static Result SetInScheduler(const std::wstring& name, const std::wstring& sid, bool on,
                                 const std::wstring& executable) {
        const ComPtr<ITaskFolder> root = TaskRoot();
        if (!root) throw Error(UiText(IDS_NO_SCHEDULER));
        VARIANT none;
        ::VariantInit(&none);
        HRESULT result = S_OK;
        if (on) {
            ComPtr<IRegisteredTask> task;
            result = root->RegisterTask(Bstr(name), Bstr(LogonTaskXml(executable, sid)), TASK_CREATE_OR_UPDATE,
                                        none, none, TASK_LOGON_INTERACTIVE_TOKEN, none, &task);
            if (SUCCEEDED(result)) RemoveEarlierTaskOf(*root.Get(), sid);
        } else {
            result = root->DeleteTask(Bstr(name), 0);
            if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) result = S_OK;
        }
        if (result == E_ACCESSDENIED) return Result::NeedsAdministrator;
        if (FAILED(result)) throw OleError(result);
        return Result::Done;
    }

    // The one task an earlier version made goes once it is this user's.
    static void RemoveEarlierTaskOf(ITaskFolder& root, const std::wstring& sid) {
        ComPtr<IRegisteredTask> task;
        ComPtr<ITaskDefinition> definition;
        ComPtr<IPrincipal> principal;
        Bstr user;
        if (FAILED(root.GetTask(Bstr(kEarlierTaskName), &task)) || FAILED(task->get_Definition(&definition)) ||
            FAILED(definition->get_Principal(&principal)) || FAILED(principal->get_UserId(user.put())) || !user)
            return;
        if (user.Text() == sid) root.DeleteTask(Bstr(kEarlierTaskName), 0);
    }

    std::wstring sid_, name_;
};
}  // namespace

std::wstring LogonTaskXml(const std::wstring& executable, const std::wstring& userSid) {
    const std::wstring user = XmlEscaped(userSid);
    return LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Author>Keepboot</Author><Description>Starts Keepboot at logon, hidden, with the rights it needs to guard the machine's startup places.</Description></RegistrationInfo>
  <Triggers><LogonTrigger><Enabled>true</Enabled><UserId>)" +
           user + LR"(</UserId></LogonTrigger></Triggers>
  <Principals><Principal id="Author"><UserId>)" +
           user + LR"(</UserId><LogonType>InteractiveToken</LogonType><RunLevel>HighestAvailable</RunLevel></Principal></Principals>
  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy><Priority>5</Priority><DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Enabled>true</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>)" +
           XmlEscaped(executable) + LR"(</Command><Arguments>-start</Arguments></Exec></Actions>
</Task>
)";
}

std::unique_ptr<SelfStart> RunValueSelfStart() {
    return std::make_unique<RunValue>();
}

std::wstring LogonTaskName(const std::wstring& userSid) {
    return L"Keepboot (" + userSid + L")";
}

std::unique_ptr<SelfStart> LogonTaskSelfStart(const std::wstring& userSid) {
    return std::make_unique<LogonTask>(userSid);
}

std::unique_ptr<SelfStart> SystemSelfStart(const std::wstring& userSid) {
    // XP has no Task Scheduler 2.0: its way is the Run value. Later Windows
    // only ever the task, which gives the guard its rights at logon.
    if (!IsVistaOrLater()) return RunValueSelfStart();
    return std::make_unique<LogonTask>(userSid);
}

namespace {

bool IsKeepbootTaskName(const std::wstring& name) {
    return name == kEarlierTaskName || name.starts_with(L"Keepboot (");
}

// The names of the root folder's tasks as the scheduler keeps them on the
// disk (a file each in the system folder's Tasks): where the scheduler lists
// none itself (Wine's does not).
std::vector<std::wstring> TaskFileNames() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    // The 64-bit system folder's, not the one a 32-bit program is redirected to.
    const UniqueFind listing(::FindFirstFileW((TasksFolder() + L"\\Keepboot*").c_str(), &found));
    if (!listing) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (::FindNextFileW(listing.get(), &found));
    return names;
}

}  // namespace

namespace {

void RemoveEveryLogonTask() {
    if (const ComPtr<ITaskFolder> root = TaskRoot()) {
        ComPtr<IRegisteredTaskCollection> tasks;
        LONG count = 0;
        std::vector<std::wstring> names;
        if (FAILED(root->GetTasks(TASK_ENUM_HIDDEN, &tasks)) || FAILED(tasks->get_Count(&count)))
            names = TaskFileNames();
        else
            for (LONG i = 1; i <= count; ++i) {
                VARIANT index;
                ::VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                ComPtr<IRegisteredTask> task;
                Bstr name;
                if (FAILED(tasks->get_Item(index, &task)) || FAILED(task->get_Name(name.put())) || !name) continue;
                names.push_back(name.Text());
            }
        for (const std::wstring& name : names)
            if (IsKeepbootTaskName(name)) root->DeleteTask(Bstr(name), 0);
    }
}

}  // namespace

bool RemoveEverySelfStart() {
    // A scheduler that does not answer keeps its tasks; the rest goes all the same.
    const bool answered = CallService(SystemService::TaskScheduler, &RemoveEveryLogonTask);
    try {
        RunValueSelfStart()->Set(false, {});
    } catch (const Error&) {
        // Removed where it may be; nothing else stops.
    }
    return answered;
}

}  // namespace kb

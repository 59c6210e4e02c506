#include "app/SelfStart.h"

#include <windows.h>
#include <sddl.h>
#include <taskschd.h>
#include <wrl/client.h>

#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Handle.h"
#include "platform/Registry.h"

namespace kb {

using Microsoft::WRL::ComPtr;

namespace {

class RunValue final : public SelfStart {
public:
    bool Registered() const override {
        const OpenedKey run = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, kSelfStartKey);
        return run && run->HasValue(kAppTitle);
    }

    Result Set(bool on, const std::wstring& executable) override {
        const Error cannotWrite(std::wstring(L"Unable to write to HKEY_LOCAL_MACHINE") +
                                kSelfStartKey);
        // Nothing to remove is no failure, even for a user who may not write there.
        if (!on && !Registered()) return Result::Done;
        // Where this is the way (XP) there is no elevation to ask for: a
        // refusal is reported.
        OpenedKey run = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kSelfStartKey);
        if (!run) throw cannotWrite;
        if (!on) {
            if (!run->DeleteValue(kAppTitle)) throw cannotWrite;
            return Result::Done;
        }
        run->WriteString(kAppTitle, L"\"" + executable + L"\" -start");
        return Result::Done;
    }
};

// A BSTR owned for the length of a call.
class Bstr {
public:
    explicit Bstr(const std::wstring& text)
        : text_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const noexcept { return text_; }

private:
    BSTR text_;
};

// This process's user, as a SID string; empty when it cannot be told.
std::wstring UserSid() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return {};
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

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

// The scheduler's root folder; none where Task Scheduler 2.0 does not answer.
ComPtr<ITaskFolder> TaskRoot() {
    ComPtr<ITaskService> service;
    if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&service))))
        return nullptr;
    VARIANT none;
    ::VariantInit(&none);
    ComPtr<ITaskFolder> root;
    if (FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(Bstr(L"\\"), &root)))
        return nullptr;
    return root;
}

class LogonTask final : public SelfStart {
public:
    // root: a connection already made, kept for later calls; none makes one
    // at each call.
    LogonTask(std::wstring name, ComPtr<ITaskFolder> root)
        : name_(std::move(name)), root_(std::move(root)) {}

    bool Registered() const override {
        const ComPtr<ITaskFolder> root = Root();
        ComPtr<IRegisteredTask> task;
        return (root && SUCCEEDED(root->GetTask(Bstr(name_), &task))) ||
               RunValueSelfStart()->Registered();
    }

    Result Set(bool on, const std::wstring& executable) override {
        // A task that runs with the highest rights is an administrator's to make.
        if (StandardUserMode()) return Result::NeedsAdministrator;
        const ComPtr<ITaskFolder> root = Root();
        if (!root) throw Error(L"Cannot reach the Task Scheduler");
        VARIANT none;
        ::VariantInit(&none);
        HRESULT result = S_OK;
        if (on) {
            ComPtr<IRegisteredTask> task;
            result = root->RegisterTask(Bstr(name_), Bstr(LogonTaskXml(executable, UserSid())),
                                        TASK_CREATE_OR_UPDATE, none, none,
                                        TASK_LOGON_INTERACTIVE_TOKEN, none, &task);
        } else {
            result = root->DeleteTask(Bstr(name_), 0);
            if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) result = S_OK;
        }
        if (result == E_ACCESSDENIED) return Result::NeedsAdministrator;
        if (FAILED(result)) throw OleError(result, OleErrorMessage(result));
        // The Run value of an earlier version: the task replaces it.
        return RunValueSelfStart()->Set(false, executable);
    }

private:
    ComPtr<ITaskFolder> Root() const { return root_ ? root_ : TaskRoot(); }

    std::wstring name_;
    ComPtr<ITaskFolder> root_;
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
  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy><DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Enabled>true</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>)" +
           XmlEscaped(executable) + LR"(</Command><Arguments>-start</Arguments></Exec></Actions>
</Task>
)";
}

std::unique_ptr<SelfStart> RunValueSelfStart() {
    return std::make_unique<RunValue>();
}

std::unique_ptr<SelfStart> LogonTaskSelfStart(std::wstring taskName) {
    return std::make_unique<LogonTask>(std::move(taskName), nullptr);
}

std::unique_ptr<SelfStart> SystemSelfStart() {
    // The connection that tells the scheduler is there serves from then on.
    if (ComPtr<ITaskFolder> root = TaskRoot())
        return std::make_unique<LogonTask>(L"Keepboot", std::move(root));
    return RunValueSelfStart();
}

}  // namespace kb

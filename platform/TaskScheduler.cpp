#include "platform/TaskScheduler.h"

#include "platform/Bstr.h"
#include "platform/ServiceCall.h"

namespace kb {

using Microsoft::WRL::ComPtr;

namespace {

// The task by its folder and its name, the form every scheduler takes.
ComPtr<IRegisteredTask> TaskAt(const std::wstring& taskPath, HRESULT& result) {
    const ComPtr<ITaskFolder> root = TaskRoot(&result);
    const std::size_t slash = taskPath.rfind(L'\\');
    if (!root || slash == std::wstring::npos) return nullptr;
    ComPtr<ITaskFolder> folder = root;
    if (slash > 0 && FAILED(result = root->GetFolder(Bstr(taskPath.substr(0, slash)), &folder))) return nullptr;
    ComPtr<IRegisteredTask> task;
    result = folder->GetTask(Bstr(taskPath.substr(slash + 1)), &task);
    return SUCCEEDED(result) ? task : nullptr;
}

}  // namespace

ComPtr<ITaskFolder> TaskRoot(HRESULT* why) {
    HRESULT result = S_OK;
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> root;
    VARIANT none;
    ::VariantInit(&none);
    if (FAILED(result = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_PPV_ARGS(&service))) ||
        FAILED(result = service->Connect(none, none, none, none)) ||
        FAILED(result = service->GetFolder(Bstr(L"\\"), &root)))
        root = nullptr;
    if (why) *why = result;
    return root;
}

HRESULT SetTaskEnabled(const std::wstring& taskPath, bool enabled) {
    return AskService<HRESULT>(SystemService::TaskScheduler,
                               [taskPath, enabled] {
                                   HRESULT result = S_OK;
                                   const ComPtr<IRegisteredTask> task = TaskAt(taskPath, result);
                                   if (!task) return result;
                                   return task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
                               })
        .value_or(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
}

std::optional<bool> TaskEnabled(const std::wstring& taskPath) {
    return AskService<std::optional<bool>>(SystemService::TaskScheduler,
                                           [taskPath]() -> std::optional<bool> {
                                               HRESULT result = S_OK;
                                               const ComPtr<IRegisteredTask> task = TaskAt(taskPath, result);
                                               VARIANT_BOOL enabled = VARIANT_FALSE;
                                               if (!task || FAILED(task->get_Enabled(&enabled))) return std::nullopt;
                                               return enabled != VARIANT_FALSE;
                                           })
        .value_or(std::nullopt);
}

bool SchedulerKeepsIndex() {
    constexpr wchar_t kIndex[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache";
    HKEY opened = nullptr;
    // The 64-bit view's (32-bit Windows ignores the flag). A key that is
    // there but refuses this process is there all the same.
    const LONG result = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kIndex, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened);
    if (result == ERROR_SUCCESS) ::RegCloseKey(opened);
    return result != ERROR_FILE_NOT_FOUND;
}

}  // namespace kb

#include "platform/SystemFunction.h"

#include <string>

namespace kb {

FARPROC FindSystemExport(const wchar_t* module, const char* name) noexcept {
    HMODULE handle = ::GetModuleHandleW(module);
    if (!handle) {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return nullptr;
        try {
            handle = ::LoadLibraryW((std::wstring(folder) + L"\\" + module).c_str());
        } catch (...) {
            return nullptr;
        }
    }
    return handle ? ::GetProcAddress(handle, name) : nullptr;
}

}  // namespace kb

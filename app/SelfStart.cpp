#include "app/SelfStart.h"

#include <windows.h>

#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/Registry.h"

namespace kb {

void SetSelfStart(bool on, const std::wstring& executable) {
    const Error cannotWrite(std::wstring(L"Unable to write to HKEY_LOCAL_MACHINE") + kSelfStartKey);
    if (!on) {
        // Nothing to remove is no failure, even for a user who may not write there.
        const OpenedKey seen = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, kSelfStartKey);
        if (!seen || !seen->HasValue(kAppTitle)) return;
        OpenedKey run = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kSelfStartKey);
        if (!run || !run->DeleteValue(kAppTitle)) throw cannotWrite;
        return;
    }
    OpenedKey run = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kSelfStartKey);
    if (!run) throw cannotWrite;
    run->WriteString(kAppTitle, L"\"" + executable + L"\" -start");
}

}  // namespace kb

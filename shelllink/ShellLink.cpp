#include "shelllink/ShellLink.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "platform/Error.h"
#include "platform/Faults.h"

using Microsoft::WRL::ComPtr;

namespace kb {

namespace {

constexpr int kTextCapacity = 260;  // the terminating NUL included
constexpr wchar_t kShellLinkClassId[] = L"{00021401-0000-0000-C000-000000000046}";

[[noreturn]] void RaiseInterfaceNotSupported() {
    throw OleError(E_NOINTERFACE, L"Interface not supported");
}

// One buffer serves every text; each text ends at its first NUL.
class TextBuffer {
public:
    wchar_t* data() noexcept { return chars_; }
    std::wstring take() {
        std::wstring text(chars_);
        chars_[0] = L'\0';
        return text;
    }

private:
    wchar_t chars_[kTextCapacity + 1] = {};
};

}  // namespace

void ReadShellLink(const std::wstring& fileName, ShellLinkData& link) {
    ComPtr<IShellLinkW> shellLink;
    OleCheck(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&shellLink)));
    ComPtr<IPersistFile> file;
    if (FAILED(shellLink.As(&file))) RaiseInterfaceNotSupported();

    OleCheck(file->Load(fileName.c_str(), STGM_READ));
    // Silent, and without SLR_UPDATE: reading must never save the file.
    OleCheck(shellLink->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH));

    TextBuffer buffer;
    WIN32_FIND_DATAW findData{};
    OleCheck(shellLink->GetPath(buffer.data(), kTextCapacity, &findData, SLGP_UNCPRIORITY));
    link.Target = buffer.take();
    OleCheck(shellLink->GetArguments(buffer.data(), kTextCapacity));
    link.Arguments = buffer.take();
    OleCheck(shellLink->GetDescription(buffer.data(), kTextCapacity));
    link.Description = buffer.take();
    OleCheck(shellLink->GetWorkingDirectory(buffer.data(), kTextCapacity));
    link.WorkingDirectory = buffer.take();
    int iconIndex = 0;
    OleCheck(shellLink->GetIconLocation(buffer.data(), kTextCapacity, &iconIndex));
    link.IconLocation = buffer.take();
    link.IconIndex = iconIndex;
    int showCmd = 0;
    OleCheck(shellLink->GetShowCmd(&showCmd));
    link.ShowCmd = showCmd;
    WORD hotKey = 0;
    OleCheck(shellLink->GetHotkey(&hotKey));
    link.HotKey = hotKey;
}

void CreateShellLink(const std::wstring& fileName, const std::wstring& target,
                     const std::wstring& workingDirectory) {
    ComPtr<IUnknown> component;
    const HRESULT created = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_PPV_ARGS(&component));
    if (FAILED(created))
        throw OleError(created, OleErrorMessage(created) + L", ClassID: " + kShellLinkClassId);
    ComPtr<IShellLinkW> shellLink;
    if (FAILED(component.As(&shellLink))) RaiseInterfaceNotSupported();
    ComPtr<IPersistFile> file;
    if (FAILED(component.As(&file))) RaiseInterfaceNotSupported();

    std::wstring folder = workingDirectory;
    if (folder.empty()) {
        const auto last = target.find_last_of(L"\\:");
        if (last != std::wstring::npos) folder = target.substr(0, last + 1);
    }
    // What the shell makes of these is not looked at: a shortcut that could
    // not be written simply is not there.
    shellLink->SetPath(target.c_str());
    shellLink->SetWorkingDirectory(folder.c_str());
    if (InjectFault(FaultPoint::ShortcutWrite)) return;
    file->Save(fileName.c_str(), FALSE);
}

}  // namespace kb

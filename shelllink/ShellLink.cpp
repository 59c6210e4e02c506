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
    if (InjectFault(FaultPoint::ShortcutRead)) throw OleError(E_FAIL, OleErrorMessage(E_FAIL));
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

std::optional<ShellLinkData> TryReadShellLink(const std::wstring& fileName) {
    try {
        ShellLinkData link;
        ReadShellLink(fileName, link);
        return link;
    } catch (const Error&) {
        return std::nullopt;  // a partly read shortcut counts as unread
    }
}

void WriteShellLink(const std::wstring& fileName, const ShellLinkData& link) {
    ComPtr<IUnknown> component;
    const HRESULT created = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_PPV_ARGS(&component));
    if (FAILED(created))
        throw OleError(created, OleErrorMessage(created) + L", ClassID: " + kShellLinkClassId);
    ComPtr<IShellLinkW> shellLink;
    if (FAILED(component.As(&shellLink))) RaiseInterfaceNotSupported();
    ComPtr<IPersistFile> file;
    if (FAILED(component.As(&file))) RaiseInterfaceNotSupported();

    // Each property is checked: a shortcut missing one is not saved at all.
    const auto set = [](HRESULT result) {
        OleCheck(InjectFault(FaultPoint::ShortcutProperty) ? E_FAIL : result);
    };
    set(shellLink->SetPath(link.Target.c_str()));
    set(shellLink->SetArguments(link.Arguments.c_str()));
    set(shellLink->SetDescription(link.Description.c_str()));
    set(shellLink->SetWorkingDirectory(link.WorkingDirectory.c_str()));
    set(shellLink->SetIconLocation(link.IconLocation.c_str(), link.IconIndex));
    // No show command of its own is the shell's default, not "hidden".
    if (link.ShowCmd != 0) set(shellLink->SetShowCmd(link.ShowCmd));
    set(shellLink->SetHotkey(link.HotKey));
    OleCheck(InjectFault(FaultPoint::ShortcutWrite) ? E_FAIL : file->Save(fileName.c_str(), FALSE));
}

}  // namespace kb

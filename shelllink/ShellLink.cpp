#include "shelllink/ShellLink.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/NewerWindows.h"
#include "platform/Handle.h"

using Microsoft::WRL::ComPtr;

namespace kb {

namespace {

constexpr wchar_t kShellLinkClassId[] = L"{00021401-0000-0000-C000-000000000046}";
// A shortcut stores each text with a 16-bit length.
constexpr std::size_t kLongestText = 65536;

[[noreturn]] void RaiseInterfaceNotSupported() {
    throw OleError(E_NOINTERFACE, L"Interface not supported");
}

// The interface cuts a text to the buffer given and never tells its length:
// asks again with twice the room until the text leaves room to spare.
template <typename Get>
std::wstring WholeText(Get get) {
    for (std::size_t capacity = MAX_PATH;; capacity *= 2) {
        std::wstring text(capacity, L'\0');
        OleCheck(get(text.data(), static_cast<int>(capacity)));
        const std::size_t length = ::wcsnlen(text.data(), capacity);
        if (length + 1 < capacity || capacity >= kLongestText) {
            text.resize(length);
            return text;
        }
    }
}

// The name the shell shows for the shortcut's ID list: what a shortcut
// without a path (a namespace item, an advertised program) points at.
std::wstring ItemNameOf(IShellLinkW& shellLink) {
    PIDLIST_ABSOLUTE idList = nullptr;
    if (FAILED(shellLink.GetIDList(&idList)) || !idList) return {};
    const UniqueCoMemory ownedList(idList);
    return NameOfIdList(idList);
}

}  // namespace

void ReadShellLink(const std::wstring& fileName, ShellLinkData& link) {
    if (InjectFault(FaultPoint::ShortcutRead)) throw OleError(E_FAIL);
    ComPtr<IShellLinkW> shellLink;
    OleCheck(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&shellLink)));
    ComPtr<IPersistFile> file;
    if (FAILED(shellLink.As(&file))) RaiseInterfaceNotSupported();

    // Read as stored: no resolve, which could search the disk or the
    // network for a target that moved, and must never save the file.
    OleCheck(file->Load(fileName.c_str(), STGM_READ));

    link.Target = WholeText([&](wchar_t* text, int capacity) {
        WIN32_FIND_DATAW findData{};
        return shellLink->GetPath(text, capacity, &findData, SLGP_UNCPRIORITY);
    });
    link.Arguments = WholeText([&](wchar_t* text, int capacity) {
        return shellLink->GetArguments(text, capacity);
    });
    link.Description = WholeText([&](wchar_t* text, int capacity) {
        return shellLink->GetDescription(text, capacity);
    });
    link.WorkingDirectory = WholeText([&](wchar_t* text, int capacity) {
        return shellLink->GetWorkingDirectory(text, capacity);
    });
    int iconIndex = 0;
    link.IconLocation = WholeText([&](wchar_t* text, int capacity) {
        return shellLink->GetIconLocation(text, capacity, &iconIndex);
    });
    link.IconIndex = iconIndex;
    int showCmd = 0;
    OleCheck(shellLink->GetShowCmd(&showCmd));
    link.ShowCmd = showCmd;
    WORD hotKey = 0;
    OleCheck(shellLink->GetHotkey(&hotKey));
    link.HotKey = hotKey;
    link.ItemName = link.Target.empty() ? ItemNameOf(*shellLink.Get()) : std::wstring();
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
    // An empty field stays unwritten: the file then holds no icon location
    // or working folder of the component's own making.
    if (!link.Arguments.empty()) set(shellLink->SetArguments(link.Arguments.c_str()));
    if (!link.Description.empty()) set(shellLink->SetDescription(link.Description.c_str()));
    if (!link.WorkingDirectory.empty())
        set(shellLink->SetWorkingDirectory(link.WorkingDirectory.c_str()));
    if (!link.IconLocation.empty() || link.IconIndex != 0)
        set(shellLink->SetIconLocation(link.IconLocation.c_str(), link.IconIndex));
    // No show command of its own is the shell's default, not "hidden".
    if (link.ShowCmd != 0) set(shellLink->SetShowCmd(link.ShowCmd));
    set(shellLink->SetHotkey(link.HotKey));
    OleCheck(InjectFault(FaultPoint::ShortcutWrite) ? E_FAIL : file->Save(fileName.c_str(), FALSE));
}

}  // namespace kb

#pragma once
// A task's definition as Windows' scheduler writes it: UTF-16 with its
// declaration, one principal, one Exec action, the triggers given.
#include <string>

namespace kb::test {

inline const std::wstring kLogonTrigger = L"<LogonTrigger><Enabled>true</Enabled></LogonTrigger>";

inline std::wstring TaskXml(const std::wstring& command, const std::wstring& arguments = L"",
                            const std::wstring& triggers = kLogonTrigger, const std::wstring& settings = L"") {
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           L"  <RegistrationInfo><Author>Vendor</Author></RegistrationInfo>\r\n"
           L"  <Triggers>" + triggers + L"</Triggers>\r\n"
           L"  <Principals><Principal id=\"Author\"><UserId>S-1-5-18</UserId>"
           L"<RunLevel>HighestAvailable</RunLevel></Principal></Principals>\r\n"
           L"  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>" + settings +
           L"</Settings>\r\n"
           L"  <Actions Context=\"Author\"><Exec><Command>" + command + L"</Command>" +
           (arguments.empty() ? L"" : L"<Arguments>" + arguments + L"</Arguments>") +
           L"</Exec></Actions>\r\n"
           L"</Task>\r\n";
}

}  // namespace kb::test

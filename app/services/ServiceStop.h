#pragma once
// Running services the user disabled in the prompt and asked to stop too,
// stopped off the window's thread: the service manager waits up to half a
// minute for a service's answer, and Windows' consent to the rights as long
// as the user takes. The outcomes wait in a box of the stopper's own; the
// window is only told to look, so a message another program posts carries
// nothing in.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace kb {

struct ServiceStopped {
    std::wstring name;
    DWORD error = ERROR_SUCCESS;  // Windows' code
};

class ServiceStopper {
public:
    // elevated: whether this process has administrator rights; without
    // them each stop is an elevated instance's of the executable.
    ServiceStopper(HWND window, UINT message, std::wstring executable, bool elevated);
    // Starts stopping it; the window is posted the message when it is done.
    // Nothing comes when the service is no longer one this program disabled
    // (its disable did not take, which was said). False when no thread
    // could be made.
    bool Stop(const std::wstring& name);
    // The outcomes come since the last call.
    std::vector<ServiceStopped> Take();

    struct Box;

private:
    HWND window_;
    UINT message_;
    std::wstring executable_;
    bool elevated_;
    // Shared with the threads under way: one may end after the window.
    std::shared_ptr<Box> box_;
};

}  // namespace kb

#pragma once
// Work that may wait on a system service, done on a thread of its own so
// the window never waits: making the logon start through the Task
// Scheduler, asking whether it is there, an elevated instance's part. Each
// errand's reply runs back on the window's thread, from the message the
// window is posted, so replies touch the window's objects alone. The replies
// wait in a box of the errands' own; a message another program posts
// carries nothing in.
#include <windows.h>

#include <functional>
#include <memory>

namespace kb {

class Errands {
public:
    // What an errand hands back, run on the window's thread.
    using Reply = std::function<void()>;
    // The window is posted the message whenever a reply waits.
    Errands(HWND window, UINT message);
    // Replies not yet run are dropped: the window they speak to is going.
    ~Errands();
    Errands(const Errands&) = delete;
    Errands& operator=(const Errands&) = delete;

    // Runs the errand on a thread of its own (COM initialised there). The
    // errand owns what it uses, since it may outlive the window; what it
    // raises comes back as a reply that raises it. False when no thread
    // could be made (GetLastError says why).
    bool Send(std::function<Reply()> errand);
    // On the posted message: runs the replies waiting, in the order their
    // errands ended. What one raises reaches the caller, after the others ran.
    void RunReplies();
    // Whether an errand is under way, or a reply waits to be run.
    bool Busy() const noexcept;
    // Before the window goes: waits for the errands under way, at most that
    // long. Their replies are not run.
    void Finish(DWORD limitMs) const noexcept;

    struct Box;

private:
    HWND window_;
    UINT message_;
    std::shared_ptr<Box> box_;
};

}  // namespace kb

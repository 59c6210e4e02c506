#pragma once
// The service control manager's own word that a service was made
// (SERVICE_NOTIFY_CREATED, Vista and later), as an event to wait on beside
// the registry's notification of the Services key. The word comes as a call
// queued to the thread that asked for it, run while that thread waits
// alertably: ask from the thread whose wait is (the window's message wait).
#include <windows.h>

#include <memory>

#include "platform/Handle.h"

namespace kb {

class ServiceCreations {
public:
    // None where the manager gives no such word: XP, which lacks the call,
    // and Wine, whose manager refuses it (ERROR_CALL_NOT_IMPLEMENTED).
    static std::unique_ptr<ServiceCreations> Make();
    ~ServiceCreations();
    ServiceCreations(const ServiceCreations&) = delete;
    ServiceCreations& operator=(const ServiceCreations&) = delete;

    // Auto-reset: set by each word.
    HANDLE Event() const noexcept;
    // Asks for the next word, unless one is asked for already. False when
    // the manager refuses.
    bool Arm();

    struct Notice;

private:
    ServiceCreations(UniqueService manager, Notice* notice) : manager_(std::move(manager)), notice_(notice) {}

    UniqueService manager_;
    // The manager writes into it until its word came. Going on the thread
    // that asked, this runs a word already queued and frees it; going on
    // another, it leaves it to a word that may still come to free it.
    Notice* notice_;
};

}  // namespace kb

// PSyncPoint: an auto-reset event.
#pragma once

#include <pwlib/psemaphore.h>

/// An auto-reset event: Signal sets it (a Signal with nobody waiting is kept for the next
/// Wait; further Signals before that Wait are not counted), and each Wait that returns
/// TRUE resets it. Wait(timeout) gives FALSE on time-out.
class PSyncPoint : public PSemaphore
{
    PCLASSINFO(PSyncPoint, PSemaphore)
  public:
    PSyncPoint() : PSemaphore(0, 1) {}
};

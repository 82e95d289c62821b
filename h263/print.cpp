// The H.263 print hook.
#include "h263/print.h"

#include <atomic>
#include <cstdarg>

namespace {

std::atomic<H263DebugPrintHook> g_hook{nullptr};

void vprint(const char *format, va_list args)
{
    H263DebugPrintHook hook = g_hook.load(std::memory_order_acquire);
    if (!hook)
        return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    hook(text);
}

} // namespace

void SetH263DebugPrint(H263DebugPrintHook hook)
{
    g_hook.store(hook, std::memory_order_release);
}

int H263Printf(const char *format, ...)
{
    if (!g_hook.load(std::memory_order_acquire))
        return 0;
    va_list args;
    va_start(args, format);
    vprint(format, args);
    va_end(args);
    return 0;
}

int H263Fprintf(FILE *, const char *format, ...)
{
    if (!g_hook.load(std::memory_order_acquire))
        return 0;
    va_list args;
    va_start(args, format);
    vprint(format, args);
    va_end(args);
    return 0;
}

// The program's own (English) resource pack, linked into the executable.
#include <win/resources.h>

extern "C" const char kestrelin_own_pack_begin[];
extern "C" const char kestrelin_own_pack_end[];

// The bytes of the pack file, placed between two symbols by the assembler.
__asm__(".section .rodata\n"
        ".balign 16\n"
        ".global kestrelin_own_pack_begin\n"
        "kestrelin_own_pack_begin:\n"
        ".incbin \"" KESTRELIN_OWN_PACK "\"\n"
        ".global kestrelin_own_pack_end\n"
        "kestrelin_own_pack_end:\n"
        ".previous\n");

namespace {

// Registered before main, as the resources of an executable are there when it starts.
const bool g_registered = [] {
    win::res::RegisterOwnPack(std::string_view(
        kestrelin_own_pack_begin, size_t(kestrelin_own_pack_end - kestrelin_own_pack_begin)));
    return true;
}();

} // namespace

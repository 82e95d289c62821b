// The program's own (English) resource pack, linked into the executable.
#include <cstddef>

// The bytes of the pack file, placed between two symbols by the assembler.
__asm__(".section .rodata\n"
        ".balign 16\n"
        ".global kestrelin_own_pack_begin\n"
        "kestrelin_own_pack_begin:\n"
        ".incbin \"" KESTRELIN_OWN_PACK "\"\n"
        ".global kestrelin_own_pack_end\n"
        "kestrelin_own_pack_end:\n"
        ".previous\n");

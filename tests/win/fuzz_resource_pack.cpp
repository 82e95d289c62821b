// Fuzz target: resource pack images and the dialog and menu texts they carry.
#include <win/rcscript.h>
#include <win/respack.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    std::string error;
    if (auto pack = win::res::Pack::Parse(bytes, error))
        pack->Serialize();
    win::rc::Script script;
    win::rc::ParseScript(bytes, script, error);
    win::rc::DialogTemplate dialog;
    if (win::rc::ParseDialog(bytes, dialog, error))
        win::rc::FormatDialog(dialog);
    std::map<int, std::string> strings;
    win::res::DecodeStringTable(bytes, strings);
    return 0;
}

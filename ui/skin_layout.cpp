// Skin layout table loader.
#include <ui/skin_layout.h>

#include <win/resources.h>

#include <cstring>

void LoadFaceTable(SkinLayoutEntry (&table)[kSkinLayoutEntries])
{
    for (auto &entry : table) {
        entry.a = entry.b = entry.c = entry.d = entry.e = 0;
    }
    HRSRC res = FindResourceA(AfxGetResourceHandle(), "IDR_FACE", "FACE");
    HGLOBAL loaded = res ? LoadResource(AfxGetResourceHandle(), res) : nullptr;
    const auto *bytes = static_cast<const char *>(loaded ? LockResource(loaded) : nullptr);
    if (!bytes)
        return;
    size_t words = SizeofResource(AfxGetResourceHandle(), res) / 4;
    size_t at = 0;
    auto next = [&](int32_t &v) {
        if (at >= words)
            return false;
        std::memcpy(&v, bytes + 4 * at++, 4);
        return true;
    };
    for (int record = 0; record < 80; ++record) {
        int32_t index = 0;
        if (!next(index) || index == -1)
            return;
        if (index < 0 || index >= kSkinLayoutEntries)
            continue;
        SkinLayoutEntry &e = table[index];
        // A record cut short by the end of the resource keeps what it read.
        if (!next(e.a) || !next(e.b) || !next(e.c) || !next(e.d) || !next(e.e))
            return;
    }
}

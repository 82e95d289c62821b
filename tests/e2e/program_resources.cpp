// The program's resource scripts, read once per language.
#include "program_resources.h"

#include <ui/skin_buttons.h>
#include <ui/skin_layout.h>

#include <win/cdialog.h>
#include <win/resources.h>

#include <QImage>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

namespace e2e
{

namespace
{

constexpr const char *kScripts[] = {"en", "zh_CN", "zh_TW"};
// Dialog units of a drop-down list's closed box, whatever height its template gives the list.
constexpr int kClosedComboHeight = 12;

} // namespace

ProgramResources::ProgramResources(int language)
{
    std::string path = std::string(KESTRELIN_RESOURCE_SCRIPTS) + "/" + kScripts[language] +
                       "/kestrelin.rc";
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    loaded_ = in && win::rc::ParseScript(text.str(), script_, error);
    if (!loaded_)
        std::cerr << path << ": " << error << "\n";
}

const ProgramResources &ProgramResources::Of(int language)
{
    static const ProgramResources all[] = {ProgramResources(0), ProgramResources(1),
                                           ProgramResources(2)};
    return all[std::clamp(language, 0, 2)];
}

std::string ProgramResources::String(int id) const
{
    auto it = script_.strings.find(id);
    return it == script_.strings.end() ? std::string() : it->second;
}

const win::rc::DialogTemplate *ProgramResources::Dialog(int id) const
{
    for (const win::rc::DialogTemplate &d : script_.dialogs)
        if (d.id == id)
            return &d;
    return nullptr;
}

std::string ProgramResources::Caption(int dialog) const
{
    const win::rc::DialogTemplate *d = Dialog(dialog);
    return d ? d->caption : std::string();
}

Point ProgramResources::ControlPoint(int dialog, int control) const
{
    const win::rc::DialogTemplate *d = Dialog(dialog);
    const win::rc::ControlTemplate *c = d ? d->Find(control) : nullptr;
    if (!c)
        return {-1, -1};
    int height = c->kind == "COMBOBOX" ? std::min(c->cy, kClosedComboHeight) : c->cy;
    return {CDialog::DluToPixelsX(c->x + c->cx / 2), CDialog::DluToPixelsY(c->y + height / 2)};
}

namespace
{

// The skin layout table of the program's own resources, read once.
const SkinLayoutEntry *Face()
{
    static SkinLayoutEntry face[kSkinLayoutEntries];
    static const bool loaded = (LoadFaceTable(face), true);
    (void)loaded;
    return face;
}

} // namespace

Point ProgramResources::LayoutBoxPoint(int entry)
{
    const SkinLayoutEntry &e = Face()[std::clamp(entry, 0, kSkinLayoutEntries - 1)];
    return {e.a + e.c / 2, e.b + e.d / 2};
}

Point ProgramResources::SkinButtonPoint(int control)
{
    const SkinLayoutEntry *face = Face();
    std::vector<SkinButtonSpec> buttons(std::begin(kSkinButtons), std::end(kSkinButtons));
    buttons.push_back(kSendMessageButton);
    buttons.push_back(kVideoButton);
    for (const SkinButtonSpec &spec : buttons) {
        const SkinLayoutEntry &e = face[spec.entry];
        if (spec.id != control || (e.e != 1 && spec.id != kVideoButton.id))
            continue;
        const std::string *bitmap = win::res::Find("BITMAP", spec.normal);
        QImage image;
        if (!bitmap || !image.loadFromData(reinterpret_cast<const uchar *>(bitmap->data()),
                                           int(bitmap->size())))
            return {-1, -1};
        return {e.a + image.width() / 2, e.b + image.height() / 2};
    }
    return {-1, -1};
}

Point ProgramResources::WizardButtonPoint(int width, int height, int k)
{
    // The toolkit's layout of the row: push buttons 80 pixels wide, 6 apart, right-aligned
    // within an 11-pixel margin, their middle 22 pixels above the bottom edge.
    constexpr int kMargin = 11, kWidth = 80, kSpacing = 6, kFromBottom = 22;
    return {width - kMargin - kWidth / 2 - k * (kWidth + kSpacing), height - kFromBottom};
}

} // namespace e2e

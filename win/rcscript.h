// Resource scripts: the text form of dialogs, menus, string tables and file resources.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace win::rc {

// One control of a dialog template; positions and sizes are in dialog units.
struct ControlTemplate {
    std::string kind; // LTEXT, CTEXT, RTEXT, EDIT, BUTTON, DEFBUTTON, CHECKBOX, GROUPBOX,
                      // COMBOBOX, RICHEDIT, SLIDER, PROGRESS, ICON, BITMAP, FRAME
    int id = -1;
    std::string text; // caption, or the resource id of an ICON/BITMAP static ("#263")
    int x = 0, y = 0, cx = 0, cy = 0;
    std::vector<std::string> flags; // HIDDEN, DISABLED, PASSWORD, MULTILINE, ...
    std::vector<std::string> data;  // initial list items of a combo box

    bool Has(std::string_view flag) const;
};

struct DialogTemplate {
    int id = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    std::vector<std::string> styles; // POPUP, CHILD, CAPTION, SYSMENU, NOFRAME
    int fontSize = 8;
    std::string fontFace = "MS Sans Serif";
    std::vector<ControlTemplate> controls;

    bool Has(std::string_view style) const;
    const ControlTemplate *Find(int controlId) const;
};

struct MenuItem {
    int id = 0;
    std::string text;
    bool separator = false;
    bool popup = false;
    std::vector<MenuItem> children; // items of a popup
};

struct MenuTemplate {
    int id = 0;
    std::vector<MenuItem> items;
};

// A resource whose bytes come from a file beside the script.
struct FileResource {
    std::string type; // BITMAP, ICON, CURSOR or a custom type such as RGN, FACE
    std::string name; // "#137" for an integer id, else the name in upper case
    std::string path;
};

struct Script {
    std::map<int, std::string> strings;
    std::vector<DialogTemplate> dialogs;
    std::vector<MenuTemplate> menus;
    std::vector<FileResource> files;
};

// Parses a whole script. On failure returns false and sets error to "line N: reason".
bool ParseScript(std::string_view text, Script &out, std::string &error);

// Canonical text of one dialog or menu, parsed back by ParseScript.
std::string FormatDialog(const DialogTemplate &dialog);
std::string FormatMenu(const MenuTemplate &menu);

// Parses a block holding exactly one DIALOG or MENU statement.
bool ParseDialog(std::string_view text, DialogTemplate &out, std::string &error);
bool ParseMenu(std::string_view text, MenuTemplate &out, std::string &error);

// Resource names: integer ids become "#n"; names are compared in upper case.
std::string ResourceName(int id);
std::string NormalizeName(std::string_view name);

} // namespace win::rc

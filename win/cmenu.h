// Menus: templates from the resources, popup menus at a point, the system menu.
#pragma once

#include <win/cwnd.h>

#include <functional>
#include <memory>
#include <vector>

#define MF_STRING 0x0000u
#define MF_GRAYED 0x0001u
#define MF_POPUP 0x0010u
#define MF_SEPARATOR 0x0800u
#define TPM_LEFTALIGN 0x0000u
#define TPM_RIGHTBUTTON 0x0002u
#define TPM_RETURNCMD 0x0100u

class CMenu
{
  public:
    CMenu();
    ~CMenu();
    CMenu(const CMenu &) = delete;
    CMenu &operator=(const CMenu &) = delete;

    /// Builds the menu from template nIDResource of the resource module in force.
    BOOL LoadMenu(UINT nIDResource);
    BOOL CreatePopupMenu();
    BOOL DestroyMenu();
    /// The popup at position nPos, owned by this menu; null when that item is no popup.
    CMenu *GetSubMenu(int nPos) const;
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
    UINT GetMenuItemCount() const;
    UINT GetMenuItemID(int nPos) const;
    CString GetMenuString(int nPos) const;
    /// Shows the menu at the screen point and sends the chosen command to pWnd as WM_COMMAND
    /// (with TPM_RETURNCMD returns it instead). Returns FALSE (0) when nothing was chosen.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd *pWnd, LPCRECT lpRect = nullptr);
    operator HMENU() const { return reinterpret_cast<HMENU>(const_cast<CMenu *>(this)); }

  private:
    struct Item {
        UINT flags = 0;
        UINT_PTR id = 0;
        CString text;
        std::unique_ptr<CMenu> popup;
    };
    std::vector<Item> m_items;
    bool m_exists = false;
    friend struct MenuBuilder;
};

namespace win::testing {
/// Chooses popup menu items instead of showing the menu: gets the item texts (a separator as
/// ""), returns the index chosen or -1 (null: show the menu).
void SetPopupMenuHandler(std::function<int(const std::vector<std::string> &items)> handler);
} // namespace win::testing

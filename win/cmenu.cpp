// Menus over QMenu.
#include <win/cmenu.h>

#include <win/codepage.h>
#include <win/resources.h>

#include <QAction>
#include <QMenu>

#include <mutex>

namespace {
std::mutex g_hookMutex;
std::function<int(const std::vector<std::string> &)> g_hook;

QString ToQ(const CString &s) { return QString::fromStdString(s.ToUtf8()); }
} // namespace

struct MenuBuilder {
    static void Fill(CMenu &menu, const std::vector<win::rc::MenuItem> &items)
    {
        for (const auto &i : items) {
            CMenu::Item item;
            if (i.separator) {
                item.flags = MF_SEPARATOR;
            } else {
                item.text = CString::FromUtf8(i.text);
                item.id = UINT_PTR(i.id);
                if (i.popup) {
                    item.flags = MF_POPUP;
                    item.popup = std::make_unique<CMenu>();
                    item.popup->m_exists = true;
                    Fill(*item.popup, i.children);
                }
            }
            menu.m_items.push_back(std::move(item));
        }
    }
};

void win::testing::SetPopupMenuHandler(std::function<int(const std::vector<std::string> &)> h)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(h);
}

CMenu::CMenu() = default;
CMenu::~CMenu() = default;

BOOL CMenu::LoadMenu(UINT nIDResource)
{
    win::rc::MenuTemplate t;
    if (!win::res::LoadMenuTemplate(nIDResource, t))
        return FALSE;
    m_items.clear();
    m_exists = true;
    MenuBuilder::Fill(*this, t.items);
    return TRUE;
}

BOOL CMenu::CreatePopupMenu()
{
    m_items.clear();
    m_exists = true;
    return TRUE;
}

BOOL CMenu::DestroyMenu()
{
    bool existed = m_exists;
    m_items.clear();
    m_exists = false;
    return existed;
}

CMenu *CMenu::GetSubMenu(int nPos) const
{
    if (nPos < 0 || size_t(nPos) >= m_items.size())
        return nullptr;
    return m_items[size_t(nPos)].popup.get();
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCTSTR lpszNewItem)
{
    if (!m_exists)
        return FALSE;
    Item item;
    item.flags = nFlags;
    item.id = nIDNewItem;
    item.text = lpszNewItem ? lpszNewItem : "";
    m_items.push_back(std::move(item));
    return TRUE;
}

UINT CMenu::GetMenuItemCount() const { return UINT(m_items.size()); }

UINT CMenu::GetMenuItemID(int nPos) const
{
    if (nPos < 0 || size_t(nPos) >= m_items.size())
        return UINT(-1);
    const Item &i = m_items[size_t(nPos)];
    return i.popup ? UINT(-1) : UINT(i.id);
}

CString CMenu::GetMenuString(int nPos) const
{
    return nPos >= 0 && size_t(nPos) < m_items.size() ? m_items[size_t(nPos)].text : CString();
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd *pWnd, LPCRECT)
{
    std::function<int(const std::vector<std::string> &)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    UINT_PTR chosen = 0;
    if (hook) {
        std::vector<std::string> texts;
        for (const auto &i : m_items)
            texts.push_back(i.flags & MF_SEPARATOR ? std::string() : i.text.ToUtf8());
        int index = hook(texts);
        if (index >= 0 && size_t(index) < m_items.size() && !m_items[size_t(index)].popup &&
            !(m_items[size_t(index)].flags & (MF_SEPARATOR | MF_GRAYED)))
            chosen = m_items[size_t(index)].id;
    } else {
        QMenu menu;
        std::function<void(QMenu &, const std::vector<Item> &)> build =
            [&](QMenu &m, const std::vector<Item> &items) {
                for (const auto &i : items) {
                    if (i.flags & MF_SEPARATOR) {
                        m.addSeparator();
                    } else if (i.popup) {
                        build(*m.addMenu(ToQ(i.text)), i.popup->m_items);
                    } else {
                        QAction *a = m.addAction(ToQ(i.text));
                        a->setData(QVariant::fromValue<qulonglong>(i.id));
                        a->setEnabled(!(i.flags & MF_GRAYED));
                    }
                }
            };
        build(menu, m_items);
        if (QAction *a = menu.exec(QPoint(x, y)))
            chosen = UINT_PTR(a->data().toULongLong());
    }
    if (!chosen)
        return FALSE;
    if (nFlags & TPM_RETURNCMD)
        return BOOL(chosen);
    if (pWnd)
        pWnd->PostMessage(WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return TRUE;
}

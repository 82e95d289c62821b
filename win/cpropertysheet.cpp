// Wizard property sheets.
#include <win/cpropertysheet.h>

#include <win/application.h>
#include <win/codepage.h>
#include <win/internal/widgets.h>
#include <win/resources.h>
#include <win/widget_bridge.h>

#include <QEventLoop>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

CPropertyPage::CPropertyPage(UINT nIDTemplate) : CDialog(nIDTemplate) {}

BOOL CPropertyPage::OnSetActive() { return TRUE; }
BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }
LRESULT CPropertyPage::OnWizardNext() { return 0; }
LRESULT CPropertyPage::OnWizardBack() { return 0; }
BOOL CPropertyPage::OnWizardFinish() { return TRUE; }

BEGIN_MESSAGE_MAP(CPropertySheet, CWnd)
    ON_MESSAGE(PSM_SETWIZBUTTONS, OnSetWizButtons)
    ON_COMMAND(ID_WIZBACK, OnBack)
    ON_COMMAND(ID_WIZNEXT, OnNext)
    ON_COMMAND(ID_WIZFINISH, OnFinish)
    ON_COMMAND(IDCANCEL, OnCancelButton)
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet(LPCTSTR pszCaption, CWnd *pParentWnd, UINT iSelectPage)
    : m_strCaption(pszCaption), m_pParentWnd(pParentWnd), m_nStartPage(iSelectPage)
{
}

CPropertySheet::~CPropertySheet()
{
    if (QWidget *w = m_pWidget) {
        WidgetAccess::Detach(this);
        delete w;
    }
}

void CPropertySheet::AddPage(CPropertyPage *pPage)
{
    pPage->m_pSheet = this;
    m_pages.push_back(pPage);
}

CPropertyPage *CPropertySheet::GetActivePage() const
{
    return m_active >= 0 ? m_pages[size_t(m_active)] : nullptr;
}

CWnd *CPropertySheet::GetButton(int id)
{
    for (auto &b : m_buttons)
        if (b->GetDlgCtrlID() == id)
            return b.get();
    return nullptr;
}

INT_PTR CPropertySheet::DoModal()
{
    if (m_pages.empty() || m_pWidget)
        return -1;
    win::EnsureApplication();
    auto *w = new win::detail::DialogWidget(nullptr);
    w->setWindowFlags(Qt::Dialog);
    if (m_pParentWnd && m_pParentWnd->GetWidget())
        w->setWindowModality(Qt::WindowModal); // over the owner and all its windows
    w->setWindowTitle(QString::fromStdString(m_strCaption.ToUtf8()));
    // The sheet and its buttons take the font of the pages.
    win::rc::DialogTemplate first;
    if (win::res::LoadDialogTemplate(m_pages.front()->m_nIDTemplate, first))
        w->setFont(win::detail::DialogFont(first.fontSize));
    auto *column = new QVBoxLayout(w);
    m_pagesArea = new QWidget(w);
    m_pagesArea->setFixedSize(CDialog::DluToPixelsX(260), CDialog::DluToPixelsY(122));
    column->addWidget(m_pagesArea);
    auto *row = new QHBoxLayout;
    row->addStretch();
    column->addLayout(row);
    AttachWidget(w, 0, 0x80000000u);
    WidgetAccess::SetOwner(this, m_pParentWnd);
    const struct {
        int id;
        const char *text;
    } buttons[] = {{ID_WIZBACK, "< &Back"}, {ID_WIZNEXT, "&Next >"}, {ID_WIZFINISH, "Finish"},
                   {IDCANCEL, "Cancel"}};
    for (const auto &b : buttons) {
        auto *push = new QPushButton(QString::fromUtf8(b.text), w);
        push->setAutoDefault(false);
        row->addWidget(push);
        auto control = std::make_unique<CButton>();
        WidgetAccess::Attach(control.get(), push, b.id, WS_CHILD | WS_VISIBLE);
        int id = b.id;
        QObject::connect(push, &QPushButton::clicked, push,
                         [this, id] { SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); });
        m_buttons.push_back(std::move(control));
    }
    GetButton(ID_WIZFINISH)->ShowWindow(SW_HIDE);
    m_result = IDCANCEL;
    QEventLoop loop;
    m_loop = &loop;
    if (SetActivePage(int(std::min<size_t>(m_nStartPage, m_pages.size() - 1)))) {
        ShowWindow(SW_SHOWNORMAL);
        loop.exec();
    }
    m_loop = nullptr;
    for (CPropertyPage *p : m_pages)
        if (p->GetWidget())
            p->DestroyWindow();
    m_buttons.clear();
    CWnd::DestroyWindow();
    WidgetAccess::Detach(this);
    delete w;
    m_pagesArea = nullptr;
    m_active = -1;
    win::detail::ActivateOwner(m_pParentWnd);
    return m_result;
}

BOOL CPropertySheet::SetActivePage(int nPage)
{
    if (nPage < 0 || size_t(nPage) >= m_pages.size())
        return FALSE;
    CPropertyPage *page = m_pages[size_t(nPage)];
    if (!page->GetWidget()) {
        if (!page->Build(page->m_nIDTemplate, this, false, m_pagesArea))
            return FALSE;
        page->OnInitDialog();
    }
    if (!page->OnSetActive())
        return FALSE;
    if (CPropertyPage *old = GetActivePage(); old && old != page)
        old->ShowWindow(SW_HIDE);
    m_active = nPage;
    page->GetWidget()->move(0, 0);
    page->ShowWindow(SW_SHOW);
    return TRUE;
}

LRESULT CPropertySheet::OnSetWizButtons(WPARAM, LPARAM lParam)
{
    SetWizardButtons(DWORD(lParam));
    return 0;
}

void CPropertySheet::SetWizardButtons(DWORD dwFlags)
{
    if (m_buttons.empty())
        return;
    GetButton(ID_WIZBACK)->EnableWindow((dwFlags & PSWIZB_BACK) != 0);
    bool finish = dwFlags & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH);
    GetButton(ID_WIZNEXT)->ShowWindow(finish ? SW_HIDE : SW_SHOW);
    GetButton(ID_WIZNEXT)->EnableWindow((dwFlags & PSWIZB_NEXT) != 0);
    GetButton(ID_WIZFINISH)->ShowWindow(finish ? SW_SHOW : SW_HIDE);
    GetButton(ID_WIZFINISH)->EnableWindow((dwFlags & PSWIZB_FINISH) != 0);
}

void CPropertySheet::OnNext()
{
    CPropertyPage *page = GetActivePage();
    if (!page || page->OnWizardNext() == -1 || !page->OnKillActive())
        return;
    SetActivePage(m_active + 1);
}

void CPropertySheet::OnBack()
{
    CPropertyPage *page = GetActivePage();
    if (!page || page->OnWizardBack() == -1 || !page->OnKillActive())
        return;
    SetActivePage(m_active - 1);
}

void CPropertySheet::OnFinish()
{
    CPropertyPage *page = GetActivePage();
    if (page && page->OnWizardFinish())
        End(ID_WIZFINISH);
}

void CPropertySheet::OnCancelButton()
{
    if (CPropertyPage *page = GetActivePage())
        page->OnCancel();
    for (CPropertyPage *page : m_pages)
        if (page->GetWidget())
            page->OnReset();
    End(IDCANCEL);
}

void CPropertySheet::OnClose() { OnCancelButton(); }

void CPropertySheet::End(int result)
{
    m_result = result;
    if (m_loop)
        m_loop->quit();
    if (m_pWidget)
        m_pWidget->hide(); // at once, as the loop may return later
}

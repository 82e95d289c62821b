// Dialog construction from templates, modal loops, data exchange.
#include <win/cdialog.h>

#include <win/application.h>
#include <win/codepage.h>
#include <win/internal/widgets.h>
#include <win/resources.h>
#include <win/widget_bridge.h>

#include <QMouseEvent>
#include <QShortcut>

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

namespace {

QString ToQ(const std::string &utf8) { return QString::fromStdString(utf8); }

QRect Place(const win::rc::ControlTemplate &c)
{
    return QRect(CDialog::DluToPixelsX(c.x), CDialog::DluToPixelsY(c.y),
                 CDialog::DluToPixelsX(c.cx), CDialog::DluToPixelsY(c.cy));
}

// The control object and widget of one template control; its notifications go to the dialog.
std::unique_ptr<CWnd> MakeControl(const win::rc::ControlTemplate &c, QWidget *parent,
                                  CDialog *dialog)
{
    using namespace win::detail;
    QWidget *w = nullptr;
    std::unique_ptr<CWnd> wnd;
    DWORD style = WS_CHILD | (c.Has("HIDDEN") ? 0 : WS_VISIBLE) | (c.Has("DISABLED") ? WS_DISABLED : 0);
    const std::string &k = c.kind;
    auto notify = [dialog](int id, int code, CWnd *from) {
        ::SendMessage(dialog->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(id, code),
                      reinterpret_cast<LPARAM>(from ? from->GetSafeHwnd() : nullptr));
    };
    int id = c.id;
    if (k == "LTEXT" || k == "CTEXT" || k == "RTEXT" || k == "ICON" || k == "BITMAP" ||
        k == "FRAME") {
        auto *l = new StaticWidget(ToQ(c.text), parent);
        l->setAlignment((k == "CTEXT" ? Qt::AlignHCenter : k == "RTEXT" ? Qt::AlignRight
                                                                         : Qt::AlignLeft) |
                        Qt::AlignTop);
        l->setWordWrap(true);
        if (c.Has("BOLD")) {
            QFont f = l->font();
            f.setBold(true);
            l->setFont(f);
        }
        if ((k == "ICON" || k == "BITMAP") && c.text.size() > 1 && c.text[0] == '#') {
            l->setText(QString());
            UINT rid = UINT(std::atoi(c.text.c_str() + 1));
            const std::string *data = win::res::Find(k == "ICON" ? "ICON" : "BITMAP", rid);
            QPixmap pm;
            if (data && pm.loadFromData(reinterpret_cast<const uchar *>(data->data()),
                                        uint(data->size())))
                l->setPixmap(pm);
            style |= SS_BITMAP;
        }
        if (c.Has("NOTIFY"))
            style |= SS_NOTIFY;
        w = l;
        wnd = std::make_unique<CStatic>();
    } else if (k == "GROUPBOX") {
        w = new QGroupBox(ToQ(c.text), parent);
        wnd = std::make_unique<CButton>();
    } else if (k == "BUTTON" || k == "DEFBUTTON") {
        QAbstractButton *b;
        if (c.Has("OWNERDRAW")) {
            b = new BitmapButtonWidget(parent);
            b->setText(ToQ(c.text));
            wnd = std::make_unique<CBitmapButton>();
        } else {
            auto *p = new QPushButton(ToQ(c.text), parent);
            p->setDefault(k == "DEFBUTTON");
            p->setAutoDefault(false);
            b = p;
            wnd = std::make_unique<CButton>();
        }
        b->setFocusPolicy(c.Has("OWNERDRAW") ? Qt::NoFocus : Qt::StrongFocus);
        w = b;
    } else if (k == "CHECKBOX") {
        w = new QCheckBox(ToQ(c.text), parent);
        wnd = std::make_unique<CButton>();
    } else if (k == "EDIT" && !c.Has("MULTILINE")) {
        auto *e = new QLineEdit(ToQ(c.text), parent);
        if (c.Has("PASSWORD")) {
            e->setEchoMode(QLineEdit::Password);
            style |= ES_PASSWORD;
        }
        w = e;
        wnd = std::make_unique<CEdit>();
    } else if (k == "EDIT" || k == "RICHEDIT") {
        auto *t = new QPlainTextEdit(ToQ(c.text), parent);
        t->setReadOnly(c.Has("READONLY"));
        w = t;
        wnd = std::make_unique<CRichEditCtrl>();
    } else if (k == "COMBOBOX") {
        auto *cb = new QComboBox(parent);
        cb->setEditable(c.Has("DROPDOWN"));
        cb->setInsertPolicy(QComboBox::NoInsert);
        for (const auto &item : c.data)
            cb->addItem(ToQ(item));
        cb->setCurrentIndex(-1);
        style |= c.Has("DROPDOWN") ? CBS_DROPDOWN : CBS_DROPDOWNLIST;
        w = cb;
        wnd = std::make_unique<CComboBox>();
    } else if (k == "SLIDER") {
        auto *s = new QSlider(Qt::Horizontal, parent);
        s->setRange(0, 100);
        s->setTickPosition(QSlider::TicksBelow);
        w = s;
        wnd = std::make_unique<CSliderCtrl>();
    } else {
        auto *p = new QProgressBar(parent);
        p->setRange(0, 100);
        p->setValue(0);
        p->setTextVisible(false);
        w = p;
        wnd = std::make_unique<CProgressCtrl>();
    }
    w->setGeometry(ControlGeometry(w, Place(c)));
    w->setVisible(style & WS_VISIBLE);
    w->setEnabled(!(style & WS_DISABLED));
    // The notifications go to whichever object holds the widget when they happen.
    QWidget *source = w;
    auto holder = [source] { return CWnd::FromWidget(source); };
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        QObject::connect(b, &QAbstractButton::clicked, b,
                         [=] { notify(id, BN_CLICKED, holder()); });
    if (auto *cb = qobject_cast<QComboBox *>(w)) {
        QObject::connect(cb, &QComboBox::activated, cb,
                         [=] { notify(id, CBN_SELCHANGE, holder()); });
        QObject::connect(cb, &QComboBox::editTextChanged, cb,
                         [=] { notify(id, CBN_EDITCHANGE, holder()); });
    }
    if (auto *s = qobject_cast<QSlider *>(w))
        QObject::connect(s, &QSlider::sliderReleased, s, [=] {
            NMHDR h{holder() ? holder()->GetSafeHwnd() : nullptr, UINT_PTR(id), UINT(-16)};
            ::SendMessage(dialog->GetSafeHwnd(), WM_NOTIFY, WPARAM(id),
                          reinterpret_cast<LPARAM>(&h));
        });
    WidgetAccess::Attach(wnd.get(), w, id, style);
    return wnd;
}

} // namespace

namespace win::detail {
// Statics with SS_NOTIFY report clicks to their dialog.
class StaticClickFilter : public QObject
{
  public:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::MouseButtonRelease)
            return false;
        auto *m = static_cast<QMouseEvent *>(e);
        CWnd *w = CWnd::FromWidget(static_cast<QWidget *>(o));
        if (m->button() != Qt::LeftButton || !w || !(w->GetStyle() & SS_NOTIFY) ||
            !w->GetParent())
            return false;
        ::PostMessage(w->GetParent()->GetSafeHwnd(), WM_COMMAND,
                      MAKEWPARAM(w->GetDlgCtrlID(), STN_CLICKED),
                      reinterpret_cast<LPARAM>(w->GetSafeHwnd()));
        return false;
    }
};
} // namespace win::detail

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOKCommand)
    ON_COMMAND(IDCANCEL, OnCancelCommand)
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd *pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog() { Teardown(); }

bool CDialog::Build(UINT nIDTemplate, CWnd *pParentWnd, bool modal, QWidget *host)
{
    win::rc::DialogTemplate t;
    if (m_pWidget || !win::res::LoadDialogTemplate(nIDTemplate, t))
        return false;
    win::EnsureApplication();
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParentWnd;
    QWidget *parentWidget = pParentWnd ? pParentWnd->GetWidget() : nullptr;
    auto *w = new win::detail::DialogWidget(host ? host : t.Has("CHILD") ? parentWidget : nullptr);
    if (!t.Has("CHILD") && !host) {
        // A frameless window of an owner is a tool window of it, so that window managers keep
        // it with its owner (above it, in its layer), as they do with dialogs.
        Qt::WindowFlags flags = Qt::Dialog;
        if (t.Has("NOFRAME"))
            flags = (parentWidget ? Qt::Tool : Qt::Window) | Qt::FramelessWindowHint;
        w->setWindowFlags(flags);
        if (modal && parentWidget)
            w->setWindowModality(Qt::WindowModal);
    }
    w->setWindowTitle(ToQ(t.caption));
    w->setFont(win::detail::DialogFont(t.fontSize));
    w->resize(DluToPixelsX(t.cx), DluToPixelsY(t.cy));
    // A popup dialog of an owner opens at the template's place in the owner's client area.
    if (!t.Has("CHILD") && !host && parentWidget)
        w->move(parentWidget->mapToGlobal(QPoint(DluToPixelsX(t.x), DluToPixelsY(t.y))));
    AttachWidget(w, int(nIDTemplate), t.Has("CHILD") ? WS_CHILD : 0x80000000u);
    WidgetAccess::SetOwner(this, pParentWnd);
    if (!t.Has("CHILD") && !host) {
        auto *sys = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), w);
        QObject::connect(sys, &QShortcut::activated, w, [this] {
            if (!m_systemMenu || !m_pWidget)
                return;
            QPoint at = m_pWidget->mapToGlobal(QPoint(0, 0));
            if (UINT id = UINT(m_systemMenu->TrackPopupMenu(TPM_RETURNCMD, at.x(), at.y(), this)))
                SendMessage(WM_SYSCOMMAND, id, 0);
        });
    }
    static auto *clicks = new win::detail::StaticClickFilter;
    for (const auto &c : t.controls) {
        auto control = MakeControl(c, w, this);
        control->GetWidget()->installEventFilter(clicks);
        m_controls.push_back(std::move(control));
    }
    return true;
}

INT_PTR CDialog::DoModal()
{
    if (!Build(m_nIDTemplate, m_pParentWnd, true, nullptr))
        return -1;
    m_nModalResult = -1;
    QEventLoop loop;
    m_loop = &loop;
    bool ended = false;
    if (!OnInitDialog() && false)
        ended = true;
    if (m_nModalResult == -1 && m_pWidget) {
        ShowWindow(SW_SHOWNORMAL);
        loop.exec();
    }
    (void)ended;
    m_loop = nullptr;
    int result = m_nModalResult;
    DestroyWindow();
    win::detail::ActivateOwner(m_pParentWnd);
    return result;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd *pParentWnd)
{
    if (!Build(nIDTemplate, pParentWnd, false, nullptr))
        return FALSE;
    OnInitDialog();
    if (m_pWidget && !m_pWidget->isWindow())
        m_pWidget->show();
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnClose() { OnCancel(); }

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        OnCancel();
        return 0;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

CMenu *CDialog::GetSystemMenu(BOOL bRevert)
{
    if (bRevert || !m_systemMenu) {
        m_systemMenu = std::make_unique<CMenu>();
        m_systemMenu->CreatePopupMenu();
    }
    return m_systemMenu.get();
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (m_loop)
        m_loop->quit();
    // At once, as the loop may return later; a modeless dialog stays until it is destroyed.
    if (m_pWidget)
        m_pWidget->hide();
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    if (!m_pWidget)
        return FALSE;
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::DestroyWindow()
{
    if (!m_pWidget)
        return CWnd::DestroyWindow();
    BOOL r = CWnd::DestroyWindow(); // WM_DESTROY while the controls still exist
    Teardown();
    return r;
}

void CDialog::Teardown()
{
    // Member controls bound to this dialog's widgets let go of them before they are deleted.
    QWidget *w = m_pWidget;
    if (w)
        for (QWidget *child : w->findChildren<QWidget *>())
            if (CWnd *c = CWnd::FromWidget(child))
                WidgetAccess::Detach(c);
    m_controls.clear();
    if (w) {
        WidgetAccess::Detach(this);
        delete w;
    }
}

void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl)
{
    if (rControl.GetWidget())
        return;
    auto *dlg = dynamic_cast<CDialog *>(pDX->m_pDlgWnd);
    if (!dlg)
        return;
    for (auto it = dlg->m_controls.begin(); it != dlg->m_controls.end(); ++it) {
        if ((*it)->GetDlgCtrlID() != nIDC)
            continue;
        QWidget *w = (*it)->GetWidget();
        DWORD style = (*it)->GetStyle();
        WidgetAccess::Detach(it->get());
        dlg->m_controls.erase(it);
        WidgetAccess::Attach(&rControl, w, nIDC, style);
        rControl.PreSubclassWindow();
        return;
    }
}

namespace {
QWidget *Item(CDataExchange *pDX, int nIDC)
{
    CWnd *w = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    return w ? w->GetWidget() : nullptr;
}
} // namespace

void DDX_Text(CDataExchange *pDX, int nIDC, CString &value)
{
    CWnd *w = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (!w)
        return;
    if (pDX->m_bSaveAndValidate)
        w->GetWindowText(value);
    else
        w->SetWindowText(value);
}

void DDX_Text(CDataExchange *pDX, int nIDC, int &value)
{
    CString s;
    if (!pDX->m_bSaveAndValidate)
        s.Format("%d", value);
    DDX_Text(pDX, nIDC, s);
    if (pDX->m_bSaveAndValidate)
        value = std::atoi(s);
}

void DDX_Check(CDataExchange *pDX, int nIDC, int &value)
{
    auto *b = qobject_cast<QAbstractButton *>(Item(pDX, nIDC));
    if (!b)
        return;
    if (pDX->m_bSaveAndValidate)
        value = b->isChecked() ? 1 : 0;
    else
        b->setChecked(value != 0);
}

void DDX_CBIndex(CDataExchange *pDX, int nIDC, int &index)
{
    auto *c = qobject_cast<QComboBox *>(Item(pDX, nIDC));
    if (!c)
        return;
    if (pDX->m_bSaveAndValidate) {
        index = c->currentIndex();
    } else {
        QSignalBlocker quiet(c);
        c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
    }
}

void DDX_Slider(CDataExchange *pDX, int nIDC, int &value)
{
    auto *s = qobject_cast<QSlider *>(Item(pDX, nIDC));
    if (!s)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = s->value();
    } else {
        QSignalBlocker quiet(s);
        s->setValue(value);
    }
}

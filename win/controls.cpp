// Controls over Qt widgets.
#include <win/controls.h>

#include <win/codepage.h>
#include <win/controls_testing.h>
#include <win/internal/widgets.h>
#include <win/widget_bridge.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QProgressBar>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QValidator>

#include <algorithm>

namespace {

QString ToQ(LPCTSTR s) { return s ? QString::fromStdString(win::AnsiToUtf8(s)) : QString(); }

CString FromQ(const QString &s)
{
    QByteArray utf8 = s.toUtf8();
    return CString::FromUtf8(std::string_view(utf8.constData(), size_t(utf8.size())));
}

} // namespace

namespace win::detail {

QFont DialogFont(int pointSize)
{
    QFont f;
    f.setPixelSize(std::max(1, (pointSize * 96 + 36) / 72)); // at 96 dots an inch
    return f;
}

QRect ControlGeometry(const QWidget *w, const QRect &r)
{
    if (auto *c = qobject_cast<const QComboBox *>(w))
        return QRect(r.topLeft(), QSize(r.width(), c->sizeHint().height()));
    return r;
}

void DialogWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (CWnd *w = CWnd::FromWidget(this)) {
        PaintWindow(w, p, CTLCOLOR_DLG);
        PaintPictures(w, p);
    }
}

void StaticWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    CWnd *w = CWnd::FromWidget(this);
    if (!w) {
        p.drawText(rect(), int(alignment()), text());
        return;
    }
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    PaintWindow(w, p, CTLCOLOR_STATIC);
    QPixmap pm = pixmap();
    if (!pm.isNull())
        p.drawPixmap(0, 0, pm);
    else
        DrawText(p);
    PaintPictures(w, p);
}

void StaticWidget::DrawText(QPainter &p)
{
    const QRect box = rect();
    const QString t = text();
    const QFontMetricsF fm(p.font());
    const int align = int(alignment());
    const qreal natural = fm.horizontalAdvance(t);
    const bool oneLine = box.height() < 2 * fm.lineSpacing() && !t.contains('\n');
    if (!oneLine || natural <= box.width()) {
        const int flags = align | (wordWrap() ? Qt::TextWordWrap : 0);
        QRectF needed = fm.boundingRect(QRectF(box), flags, t);
        lastFit = needed.width() <= box.width() + 0.5 && needed.height() <= box.height() + 0.5
                      ? TextFit::Whole
                      : TextFit::Cut;
        p.drawText(box, flags, t);
        return;
    }
    // A pixel to spare: the glyphs of a scaled text are not hinted to the pixel grid.
    qreal scale = box.width() / (natural + 1);
    QString shown = t;
    lastFit = TextFit::Condensed;
    if (scale < kMinCondense) {
        scale = kMinCondense;
        shown = fm.elidedText(t, Qt::ElideRight, box.width() / scale);
        lastFit = TextFit::Cut;
    }
    p.save();
    p.translate(box.left(), 0);
    p.scale(scale, 1.0);
    p.drawText(QRectF(0, box.top(), box.width() / scale, box.height()),
               (align & Qt::AlignVertical_Mask) | Qt::AlignLeft, shown);
    p.restore();
}

QSize BitmapButtonWidget::sizeHint() const
{
    return normal.isNull() ? QSize(40, 20) : normal.size();
}

void BitmapButtonWidget::paintEvent(QPaintEvent *)
{
    const QPixmap &pm = !isEnabled() && !disabled.isNull() ? disabled
                        : isDown() && !selected.isNull()   ? selected
                                                           : normal;
    if (!pm.isNull()) {
        QPainter p(this);
        p.drawPixmap(0, 0, pm);
        return;
    }
    // Without pictures the button shows as an ordinary push button with its text.
    QStylePainter p(this);
    QStyleOptionButton o;
    o.initFrom(this);
    o.text = text();
    if (isDown())
        o.state |= QStyle::State_Sunken;
    p.drawControl(QStyle::CE_PushButton, o);
}

} // namespace win::detail

using win::detail::BitmapButtonWidget;

HBITMAP CStatic::SetBitmap(HBITMAP hBitmap)
{
    if (auto *l = qobject_cast<QLabel *>(m_pWidget))
        if (const QPixmap *p = win::gdi::PixmapOf(hBitmap))
            l->setPixmap(*p);
    return nullptr;
}

int CButton::GetCheck() const
{
    auto *b = qobject_cast<QAbstractButton *>(m_pWidget);
    return b && b->isChecked() ? 1 : 0;
}

void CButton::SetCheck(int nCheck)
{
    if (auto *b = qobject_cast<QAbstractButton *>(m_pWidget))
        b->setChecked(nCheck != 0);
}

BOOL CBitmapButton::LoadBitmaps(UINT normal, UINT selected, UINT, UINT disabled)
{
    m_bitmap.DeleteObject();
    m_bitmapSel.DeleteObject();
    m_bitmapDisabled.DeleteObject();
    BOOL ok = m_bitmap.LoadBitmap(normal);
    if (selected)
        ok = m_bitmapSel.LoadBitmap(selected) && ok;
    if (disabled)
        m_bitmapDisabled.LoadBitmap(disabled);
    Refresh();
    return ok;
}

void CBitmapButton::Refresh()
{
    auto *b = dynamic_cast<BitmapButtonWidget *>(m_pWidget);
    if (!b)
        return;
    auto get = [](const CBitmap &bm) {
        const QPixmap *p = win::gdi::PixmapOf(bm);
        return p ? *p : QPixmap();
    };
    b->normal = get(m_bitmap);
    b->selected = get(m_bitmapSel);
    b->disabled = get(m_bitmapDisabled);
    b->update();
}

void CBitmapButton::SizeToContent()
{
    Refresh();
    SIZE s = m_bitmap.GetSize();
    if (m_pWidget && s.cx > 0)
        m_pWidget->resize(s.cx, s.cy);
}

BOOL CEdit::Create(DWORD dwStyle, const RECT &rect, CWnd *pParentWnd, UINT nID)
{
    if (m_pWidget || !pParentWnd || !pParentWnd->GetWidget())
        return FALSE;
    auto *e = new QLineEdit(pParentWnd->GetWidget());
    if (dwStyle & ES_PASSWORD)
        e->setEchoMode(QLineEdit::Password);
    e->setFrame(false);
    e->setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    AttachWidget(e, int(nID), dwStyle);
    e->setVisible(dwStyle & WS_VISIBLE);
    QObject::connect(e, &QLineEdit::textEdited, e, [this] {
        if (CWnd *parent = GetParent())
            ::PostMessage(parent->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(m_nID, EN_CHANGE),
                          reinterpret_cast<LPARAM>(m_hWnd));
    });
    return TRUE;
}

namespace {

// Refuses an edit that makes the text longer than the limit in bytes of the ANSI code page,
// unless it shortens a text that was already longer.
class AnsiLengthValidator : public QValidator
{
  public:
    AnsiLengthValidator(QLineEdit *edit, size_t limit)
        : QValidator(edit), limit_(limit), shown_(AnsiLength(edit->text()))
    {
        // The text the edit holds, whoever set it: the edit changes it before asking.
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString &text) { shown_ = AnsiLength(text); });
    }

    State validate(QString &input, int &) const override
    {
        size_t length = AnsiLength(input);
        return length <= limit_ || length < shown_ ? Acceptable : Invalid;
    }

  private:
    static size_t AnsiLength(const QString &text)
    {
        return win::Utf8ToAnsi(text.toStdString()).size();
    }

    size_t limit_;
    size_t shown_;
};

} // namespace

void CEdit::LimitText(int nChars)
{
    auto *e = qobject_cast<QLineEdit *>(m_pWidget);
    if (!e)
        return;
    delete e->validator();
    e->setValidator(nChars > 0 ? new AnsiLengthValidator(e, size_t(nChars)) : nullptr);
}

void CEdit::SetSel(int nStartChar, int nEndChar, BOOL)
{
    auto *e = qobject_cast<QLineEdit *>(m_pWidget);
    if (!e)
        return;
    // Positions count bytes of the ANSI text; the edit counts characters.
    QString text = e->text();
    auto toChars = [&](int bytes) {
        if (bytes < 0)
            return int(text.size());
        std::string ansi = win::Utf8ToAnsi(text.toStdString());
        std::string head = ansi.substr(0, std::min<size_t>(size_t(bytes), ansi.size()));
        return int(QString::fromStdString(win::AnsiToUtf8(head)).size());
    };
    int start = nStartChar == 0 && nEndChar == -1 ? 0 : toChars(nStartChar);
    int end = toChars(nEndChar);
    e->setSelection(start, end - start);
}

namespace {
QComboBox *Combo(QWidget *w) { return qobject_cast<QComboBox *>(w); }
} // namespace

int CComboBox::AddString(LPCTSTR s)
{
    QComboBox *c = Combo(m_pWidget);
    if (!c)
        return CB_ERR;
    QString text = c->currentText();
    c->addItem(ToQ(s));
    if (c->isEditable())
        c->setEditText(text);
    return c->count() - 1;
}

int CComboBox::InsertString(int nIndex, LPCTSTR s)
{
    QComboBox *c = Combo(m_pWidget);
    if (!c)
        return CB_ERR;
    int at = nIndex < 0 || nIndex > c->count() ? c->count() : nIndex;
    QString text = c->currentText();
    c->insertItem(at, ToQ(s));
    if (c->isEditable())
        c->setEditText(text);
    return at;
}

int CComboBox::DeleteString(UINT nIndex)
{
    QComboBox *c = Combo(m_pWidget);
    if (!c || int(nIndex) >= c->count())
        return CB_ERR;
    QString text = c->currentText();
    c->removeItem(int(nIndex));
    if (c->isEditable())
        c->setEditText(text);
    return c->count();
}

int CComboBox::GetCount() const
{
    QComboBox *c = Combo(m_pWidget);
    return c ? c->count() : CB_ERR;
}

void CComboBox::GetLBText(int nIndex, CString &rString) const
{
    QComboBox *c = Combo(m_pWidget);
    rString = c && nIndex >= 0 && nIndex < c->count() ? FromQ(c->itemText(nIndex)) : CString();
}

int CComboBox::GetLBTextLen(int nIndex) const
{
    CString s;
    GetLBText(nIndex, s);
    return s.GetLength();
}

int CComboBox::FindStringExact(int nIndexStart, LPCTSTR lpszFind) const
{
    QComboBox *c = Combo(m_pWidget);
    if (!c || !lpszFind)
        return CB_ERR;
    CString find(lpszFind);
    int n = c->count();
    for (int k = 0; k < n; ++k) {
        int i = (nIndexStart + 1 + k) % n;
        if (nIndexStart < 0)
            i = k;
        if (FromQ(c->itemText(i)).CompareNoCase(find) == 0)
            return i;
    }
    return CB_ERR;
}

int CComboBox::GetCurSel() const
{
    QComboBox *c = Combo(m_pWidget);
    return c && c->currentIndex() >= 0 ? c->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int nSelect)
{
    QComboBox *c = Combo(m_pWidget);
    if (!c)
        return CB_ERR;
    QSignalBlocker quiet(c); // as in Windows, a selection set by the program sends no notice
    c->setCurrentIndex(nSelect >= 0 && nSelect < c->count() ? nSelect : -1);
    return nSelect >= 0 && nSelect < c->count() ? nSelect : CB_ERR;
}

void CComboBox::ResetContent()
{
    if (QComboBox *c = Combo(m_pWidget)) {
        QSignalBlocker quiet(c);
        c->clear();
    }
}

int CSliderCtrl::GetPos() const
{
    auto *s = qobject_cast<QSlider *>(m_pWidget);
    return s ? s->value() : 0;
}

void CSliderCtrl::SetPos(int nPos)
{
    if (auto *s = qobject_cast<QSlider *>(m_pWidget)) {
        QSignalBlocker quiet(s);
        s->setValue(nPos);
    }
}

void CSliderCtrl::SetRange(int nMin, int nMax, BOOL)
{
    if (auto *s = qobject_cast<QSlider *>(m_pWidget))
        s->setRange(nMin, nMax);
}

int CProgressCtrl::SetPos(int nPos)
{
    auto *p = qobject_cast<QProgressBar *>(m_pWidget);
    if (!p)
        return 0;
    int old = p->value();
    p->setValue(std::clamp(nPos, p->minimum(), p->maximum()));
    return old;
}

int CProgressCtrl::GetPos() const
{
    auto *p = qobject_cast<QProgressBar *>(m_pWidget);
    return p ? p->value() : 0;
}

BOOL CToolTipCtrl::Create(CWnd *pParentWnd)
{
    m_pWnd = pParentWnd;
    m_created = pParentWnd != nullptr;
    return m_created;
}

void CToolTipCtrl::Activate(BOOL bActivate)
{
    m_active = bActivate;
    Apply();
}

BOOL CToolTipCtrl::AddTool(CWnd *pWnd, LPCTSTR lpszText, LPCRECT, UINT)
{
    if (!m_created || !pWnd)
        return FALSE;
    m_pWnd = pWnd;
    m_text = lpszText ? lpszText : "";
    ++m_tools;
    Apply();
    return TRUE;
}

void CToolTipCtrl::UpdateTipText(LPCTSTR lpszText, CWnd *pWnd, UINT)
{
    if (pWnd)
        m_pWnd = pWnd;
    m_text = lpszText ? lpszText : "";
    Apply();
}

void CToolTipCtrl::DestroyWindow()
{
    m_active = false;
    Apply();
    m_created = false;
    m_tools = 0;
}

void CToolTipCtrl::Apply()
{
    if (m_pWnd && m_pWnd->GetWidget())
        m_pWnd->GetWidget()->setToolTip(m_active && m_tools ? ToQ(m_text) : QString());
}

int CRichEditCtrl::GetLineCount() const
{
    auto *t = qobject_cast<QPlainTextEdit *>(m_pWidget);
    if (!t)
        return 0;
    int lines = 0;
    for (QTextBlock b = t->document()->begin(); b.isValid(); b = b.next())
        lines += std::max(1, b.layout() ? b.layout()->lineCount() : 1);
    return lines;
}

BOOL CRichEditCtrl::LineScroll(int nLines, int)
{
    auto *t = qobject_cast<QPlainTextEdit *>(m_pWidget);
    if (!t)
        return FALSE;
    QScrollBar *bar = t->verticalScrollBar();
    bar->setValue(bar->value() + nLines);
    return TRUE;
}

int CRichEditCtrl::GetFirstVisibleLine() const
{
    auto *t = qobject_cast<QPlainTextEdit *>(m_pWidget);
    return t ? t->verticalScrollBar()->value() : 0;
}

win::testing::TextFit win::testing::StaticTextFit(CWnd &control)
{
    auto *s = dynamic_cast<win::detail::StaticWidget *>(control.GetWidget());
    if (!s)
        return TextFit::Whole;
    s->grab();
    switch (s->lastFit) {
    case win::detail::TextFit::Whole: return TextFit::Whole;
    case win::detail::TextFit::Condensed: return TextFit::Condensed;
    case win::detail::TextFit::Cut: break;
    }
    return TextFit::Cut;
}

// Overlapping controls and texts that do not fit, found through the widgets of the controls.
#include "layout_check.h"

#include <win/controls_testing.h>
#include <win/cwnd.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace {

struct Control {
    CWnd *wnd;
    QWidget *widget;
    QRect rect;
    std::string name;
};

std::string Describe(CWnd *wnd, QWidget *w)
{
    CString text;
    wnd->GetWindowText(text);
    std::string name = "control " + std::to_string(wnd->GetDlgCtrlID());
    if (!text.IsEmpty())
        name += " \"" + text.ToUtf8() + "\"";
    return name + " at (" + std::to_string(w->x()) + "," + std::to_string(w->y()) + " " +
           std::to_string(w->width()) + "x" + std::to_string(w->height()) + ")";
}

// A button's text as shown: "&&" is an ampersand, a single one marks the mnemonic.
QString Shown(const QString &text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

// Why the control's text does not fit, or "" when it does.
std::string TextFault(const Control &c, FitRules rules)
{
    QWidget *w = c.widget;
    const QFontMetrics fm(w->font());
    const QStyle *style = w->style();
    auto tooSmall = [&](int needW, int needH) {
        if (needW <= w->width() && needH <= w->height())
            return std::string();
        return "needs " + std::to_string(needW) + "x" + std::to_string(needH);
    };
    if (qobject_cast<QLabel *>(w)) {
        win::testing::TextFit fit = win::testing::StaticTextFit(*c.wnd);
        if (fit == win::testing::TextFit::Cut)
            return "its text is cut";
        if (fit == win::testing::TextFit::Condensed && rules == FitRules::Template)
            return "its text is condensed to fit";
        return "";
    }
    if (auto *b = qobject_cast<QPushButton *>(w)) {
        if (b->text().isEmpty())
            return "";
        int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
        return tooSmall(fm.horizontalAdvance(Shown(b->text())) +
                            style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w) + frame,
                        fm.height() + frame);
    }
    if (auto *b = qobject_cast<QCheckBox *>(w)) {
        int box = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w);
        int spacing = style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
        return tooSmall(box + spacing + fm.horizontalAdvance(Shown(b->text())),
                        std::max(style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, w),
                                 fm.height()));
    }
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->minimumSizeHint().width() <= g->width() ? "" : "its title is cut";
    if (auto *combo = qobject_cast<QComboBox *>(w); combo && rules == FitRules::Template) {
        QStyleOptionComboBox o;
        o.initFrom(combo);
        o.editable = combo->isEditable();
        o.frame = combo->hasFrame();
        for (int i = 0; i < combo->count(); ++i) {
            QSize need = style->sizeFromContents(
                QStyle::CT_ComboBox, &o,
                QSize(fm.horizontalAdvance(combo->itemText(i)), fm.height()), w);
            if (need.width() > w->width())
                return "item \"" + combo->itemText(i).toStdString() + "\" is cut";
        }
    }
    return "";
}

} // namespace

std::vector<std::string> LayoutFaults(CWnd &window, FitRules rules)
{
    std::vector<Control> controls;
    QWidget *top = window.GetWidget();
    if (!top)
        return {"the window has no widget"};
    for (QWidget *w : top->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        CWnd *wnd = CWnd::FromWidget(w);
        if (wnd && w->isVisibleTo(top))
            controls.push_back({wnd, w, w->geometry(), Describe(wnd, w)});
    }
    std::vector<std::string> faults;
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const Control &a = controls[i], &b = controls[j];
            if (!a.rect.intersects(b.rect))
                continue;
            bool framed = (qobject_cast<QGroupBox *>(a.widget) && a.rect.contains(b.rect)) ||
                          (qobject_cast<QGroupBox *>(b.widget) && b.rect.contains(a.rect));
            if (!framed)
                faults.push_back(a.name + " and " + b.name + " cover each other");
        }
        std::string fault = TextFault(controls[i], rules);
        if (!fault.empty())
            faults.push_back(controls[i].name + ": " + fault);
    }
    return faults;
}

std::string Lines(const std::vector<std::string> &faults)
{
    std::string out;
    for (const auto &f : faults)
        out += f + "\n";
    return out;
}

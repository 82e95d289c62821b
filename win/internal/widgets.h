// The widgets behind dialogs and the controls that paint through the program's colours.
#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

class CWnd;

namespace win::detail {

/// A dialog's window: its background comes from WM_CTLCOLOR (CTLCOLOR_DLG), then WM_PAINT.
class DialogWidget : public QWidget
{
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent *) override;
};

/// How a static's text goes into its box (see StaticWidget).
enum class TextFit { Whole, Condensed, Cut };

/// A static: text or picture over the brush that WM_CTLCOLOR gives (none: transparent).
///
/// A box of several lines wraps its text at words. A box one line high keeps the text on that
/// line: the templates were made for narrower fonts than this system's, so a text too wide is
/// drawn condensed to the box's width (down to kMinCondense of its width); only what even
/// then does not fit is cut, with an ellipsis.
class StaticWidget : public QLabel
{
  public:
    using QLabel::QLabel;
    bool notify = false;
    static constexpr qreal kMinCondense = 0.6;
    /// How the last paint fitted the text.
    TextFit lastFit = TextFit::Whole;

  protected:
    void paintEvent(QPaintEvent *) override;

  private:
    void DrawText(QPainter &p);
};

/// An owner-drawn button: the normal picture, the selected one while down.
class BitmapButtonWidget : public QAbstractButton
{
  public:
    using QAbstractButton::QAbstractButton;
    QPixmap normal, selected, disabled;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent *) override;
};

/// The font of a dialog template of the given point size: the toolkit's face (the templates'
/// own is not found here) at the size in pixels the template's dialog units are made for.
QFont DialogFont(int pointSize);

/// The widget's geometry for a window rectangle. A combo box's rectangle holds it with its
/// list dropped down, as on Windows: the closed box keeps the toolkit's height for its font.
QRect ControlGeometry(const QWidget *w, const QRect &windowRect);

} // namespace win::detail

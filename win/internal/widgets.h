// The widgets behind dialogs and the controls that paint through the program's colours.
#pragma once

#include <QAbstractButton>
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

/// A static: text or picture over the brush that WM_CTLCOLOR gives (none: transparent).
class StaticWidget : public QLabel
{
  public:
    using QLabel::QLabel;
    bool notify = false;

  protected:
    void paintEvent(QPaintEvent *) override;
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

} // namespace win::detail

// Message boxes as QMessageBox dialogs on the interface thread.
#include <win/application.h>
#include <win/codepage.h>
#include <win/msgbox.h>

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace win {
namespace {

QString FromAnsi(LPCSTR s) { return QString::fromStdString(AnsiToUtf8(s)); }

int Show(const QString &text, const QString &caption, UINT type)
{
    QMessageBox box;
    box.setText(text);
    box.setWindowTitle(caption);
    switch (type & 0xF0) {
    case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (type & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
    }
}

int Present(LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    QString text = FromAnsi(lpText), caption = FromAnsi(lpCaption);
    EnsureApplication();
    QCoreApplication *app = QCoreApplication::instance();
    // A program that made a non-GUI application object has no widgets to show.
    if (!qobject_cast<QApplication *>(app))
        return 0;
    if (QThread::currentThread() == app->thread())
        return Show(text, caption, uType);
    int result = IDCANCEL;
    QMetaObject::invokeMethod(
        app, [&] { result = Show(text, caption, uType); }, Qt::BlockingQueuedConnection);
    return result;
}

// Before the program's global objects, which may already show a box.
[[gnu::constructor(101)]] void InstallPresenter() { SetMessageBoxPresenter(&Present); }

} // namespace

} // namespace win

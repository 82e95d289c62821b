// Conversion of CString (ANSI code page) to and from QString at the widget boundary.
#pragma once

#include <win/cstring.h>

#include <QString>

namespace win
{

inline QString ToQString(const CString &s)
{
    std::string utf8 = s.ToUtf8();
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline CString FromQString(const QString &s)
{
    QByteArray utf8 = s.toUtf8();
    return CString::FromUtf8(std::string_view(utf8.constData(), utf8.size()));
}

} // namespace win

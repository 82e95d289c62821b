// pbook.dat reader, writer and the lookup of a caller's name.
#include <ui/phone_book.h>

#include <core/settings.h>

#include <win/cfile.h>

#include <algorithm>

int ReadPhoneBook(CArchive &ar, PhoneBookTable &table)
{
    int count = 0;
    ar >> count;
    if (!ar)
        return 0;
    count = std::clamp(count, 0, kPhoneBookCapacity);
    for (int i = 0; i < count; ++i) {
        PhoneBookRecord record;
        for (CString &field : record)
            ar >> field;
        if (!ar)
            return i;
        table[i] = record;
    }
    return count;
}

int ReadPhoneBook(const CString &path, PhoneBookTable &table)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead))
        return 0;
    CArchive ar(&file, CArchive::load, 4096);
    return ReadPhoneBook(ar, table);
}

BOOL WritePhoneBook(const CString &path, const PhoneBookTable &table, int count)
{
    count = std::clamp(count, 0, kPhoneBookCapacity);
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite))
        return FALSE;
    CArchive ar(&file, CArchive::store, 4096);
    ar << count;
    for (int i = 0; i < count; ++i)
        for (const CString &field : table[i])
            ar << field;
    ar.Close();
    if (!ar.IsOK()) {
        file.Abort();
        return FALSE;
    }
    return file.Close();
}

CString LookupPhoneBookName(const CSettings &settings, const CString &number)
{
    const auto &quick = settings.m_QuickCalls;
    for (int i = 0; i < std::min(quick.m_nCount, quick.kCapacity); ++i)
        if (quick.m_strNumber[i] == number)
            return quick.m_strText[i];
    CFile file;
    if (!file.Open(settings.m_strPhoneBookFile, CFile::modeRead))
        return number;
    CArchive ar(&file, CArchive::load, 4096);
    int count = 0;
    ar >> count;
    count = std::clamp(count, 0, kPhoneBookCapacity);
    for (int i = 0; i < count && ar; ++i) {
        PhoneBookRecord record;
        for (CString &field : record)
            ar >> field;
        if (!ar)
            break;
        if (std::find(record.begin(), record.end(), number) != record.end())
            return record[0];
    }
    return number;
}

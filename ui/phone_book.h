// pbook.dat, the phone book file: reading, writing and the name lookup for a number.
//
// The file is an archive stream (win/carchive.h) with no header: a 32-bit count, then count
// records of five strings (name, business, home and mobile number, and a fifth field that is
// kept but never shown). At most 300 records are read or written.
#pragma once

#include <win/carchive.h>
#include <win/cstring.h>

#include <array>

class CSettings;

inline constexpr int kPhoneBookCapacity = 300;
inline constexpr int kPhoneBookFields = 5;

using PhoneBookRecord = std::array<CString, kPhoneBookFields>;
using PhoneBookTable = std::array<PhoneBookRecord, kPhoneBookCapacity>;

/// Reads the records of an archive into the table and returns how many were read whole: a
/// count above the capacity is taken as the capacity, a negative count reads nothing, and a
/// read error ends the reading with the records read so far.
int ReadPhoneBook(CArchive &ar, PhoneBookTable &table);
/// The same from the file; a file that cannot be opened gives 0 records.
int ReadPhoneBook(const CString &path, PhoneBookTable &table);
/// Writes count records (at most the capacity) in place of the file. FALSE when the file
/// could not be written; the file then stays as it was.
BOOL WritePhoneBook(const CString &path, const PhoneBookTable &table, int count);

/// The name for a number, compared byte by byte: the name of the Quick Call with exactly this
/// number, else field 0 of the first record of pbook.dat any of whose fields equals it, else
/// the number itself.
CString LookupPhoneBookName(const CSettings &settings, const CString &number);

// Subscriber accounts of the simulated service, read from an "account password" file.
#pragma once

#include <map>
#include <string>

namespace servicesim
{

/** Account name to password. */
using Accounts = std::map<std::string, std::string>;

/**
 * Reads one "account password" pair a line; blank lines and lines starting with '#'
 * are skipped. False with error ("file:line: reason") on a missing file or a bad line.
 */
bool LoadAccounts(const std::string &path, Accounts *accounts, std::string *error);

/** The same for text already in memory; origin names it in errors. */
bool ParseAccounts(const std::string &text, const std::string &origin, Accounts *accounts,
                   std::string *error);

} // namespace servicesim

// C++ emitter: message classes and PER descriptor tables from parsed modules.
#pragma once

#include "ast.h"

#include <map>
#include <string>
#include <vector>

namespace asn1gen {

/** Generated files by name (relative to the output folder) and their text. */
using Files = std::map<std::string, std::string>;

/** Emits every module; modules refer to each other through their imports. */
Files emit(std::vector<Module> &modules);

} // namespace asn1gen

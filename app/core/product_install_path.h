// Where the product is installed, as its own installer recorded it in the registry.
#pragma once

#include <string>

namespace ZephPatch {

// `FindProductInstallPath`: opens "SOFTWARE\Orvik\Products\<productKey>" for write (so a
// process that could not patch finds nothing) and looks at its subkeys in enumeration order;
// for each whose "ProductClass" equals `productClass` ignoring case (any subkey when
// `productClass` is empty), a non-empty "ProductInstallPath" replaces the result. Empty when
// nothing matches or the key cannot be opened.
[[nodiscard]] std::string FindProductInstallPath(const std::string& productKey,
                                                 const std::string& productClass);

}  // namespace ZephPatch

#include "app/core/product_install_path.h"

#include <algorithm>

#include "kernel/registry/registry.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace

std::string FindProductInstallPath(const std::string& productKey, const std::string& productClass) {
    using ZephUtil::RegAccess;
    ZephUtil::RegistryKey products, product;
    if (!products.Open(PRODUCTS_KEY, RegAccess::kRead) ||
        !product.OpenSubKey(products, productKey, RegAccess::kWrite))
        return {};
    std::string result, name;
    for (uint32_t index = 0; product.EnumSubKey(index, &name); ++index) {
        ZephUtil::RegistryKey subkey;
        if (!subkey.OpenSubKey(product, name, RegAccess::kRead))
            continue;
        std::string foundClass, installPath;
        const bool matches =
            productClass.empty() || (subkey.QueryString(PRODUCT_CLASS_VALUE, &foundClass) &&
                                     EqualsIgnoringCase(foundClass, productClass));
        if (matches && subkey.QueryString(PRODUCT_INSTALL_PATH_VALUE, &installPath) &&
            !installPath.empty())
            result = installPath;
    }
    return result;
}

}  // namespace ZephPatch

// The programs a chip supplier's payload carries: the driver install tools
// and the auto-install service program with its install argument.
#pragma once

namespace si {

struct SupplierPrograms {
    int chipSupplier;  // the [CurrentCard] Chip_Supplier value
    const wchar_t* driverToolX86;
    const wchar_t* driverToolX64;
    const wchar_t* service;
    const wchar_t* serviceArgument;
};

// The programs of `chipSupplier`, or null for a supplier code the payload
// cannot have.
inline const SupplierPrograms* FindSupplierPrograms(int chipSupplier) {
    static constexpr SupplierPrograms kRows[] = {
#define SI_SUPPLIER(supplier, toolX86, toolX64, service, argument) \
    {supplier, L##toolX86, L##toolX64, L##service, L##argument},
#include "install/suppliers.inc"
    };
    for (const SupplierPrograms& row : kRows)
        if (row.chipSupplier == chipSupplier) return &row;
    return nullptr;
}

}  // namespace si

// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Products.h"

#include <array>

namespace device {

namespace {
constexpr std::array<ProductInfo, 4> kProducts{{
    {kPidKelvo, Firmware::Application, "Kelvo shifter interface calibration v1.6", "Kelvo", "Kelvo"},
    {kPidDravi, Firmware::Application, "Dravi shifter interface calibration v1.6", "Dravi", "Dravi"},
    {kPidGeneric, Firmware::Application, "USB shifter interface calibration v1.6", "", "generic"},
    {kPidBootloader, Firmware::Bootloader, kGenericTitle, "BOOT", "bootloader"},
}};
}  // namespace

const ProductInfo* find_product(std::uint32_t product_id) {
    for (const ProductInfo& p : kProducts)
        if (p.product_id == product_id) return &p;
    return nullptr;
}

}  // namespace device

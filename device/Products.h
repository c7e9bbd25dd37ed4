// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The interfaces this tool serves, by USB product ID. The vendor ID is a
// deployment constant (BuildConfig.h); the product IDs belong to the box.

#include <cstdint>

namespace device {

inline constexpr std::uint16_t kPidKelvo = 0x10A0;
inline constexpr std::uint16_t kPidDravi = 0x10A1;
inline constexpr std::uint16_t kPidGeneric = 0x10A2;
inline constexpr std::uint16_t kPidBootloader = 0xB017;

enum class Firmware { Application, Bootloader };

// Title while no box (or only the bootloader) is open.
inline constexpr const char* kGenericTitle = "Kelvo/Dravi shifter interface calibration";

// Everything the tool knows of a product ID, in one place.
struct ProductInfo {
    std::uint16_t product_id;
    Firmware firmware;
    const char* title;       // window title while this product is open
    const char* model_word;  // "mod" of the update query; "" for a model the service does not name
    const char* name;        // the word shifterctl prints and takes for it
};

// nullptr for a product ID the tool does not serve.
const ProductInfo* find_product(std::uint32_t product_id);

inline bool is_application(std::uint32_t product_id) {
    const ProductInfo* p = find_product(product_id);
    return p && p->firmware == Firmware::Application;
}
inline bool is_bootloader(std::uint32_t product_id) {
    const ProductInfo* p = find_product(product_id);
    return p && p->firmware == Firmware::Bootloader;
}
// Title of the window before any readout ran.
inline constexpr const char* kNoDeviceTitle = "Vantrel Shifter interface calibration v1.5";

}  // namespace device

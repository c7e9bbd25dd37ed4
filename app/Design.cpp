// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Design.h"

#include <cassert>
#include <iterator>

namespace design {

namespace {

constexpr Control kControls[] = {
    {"cmd_auto_cal", Kind::Button, "Start calibration", {720, 7200, 2500, 495}, Anchor::UnderMap, "Start calibration",
     "Starts automatic calibration: move the shifter through all gears, then save. Click again to cancel it."},
    {"cmd_factory_reset", Kind::Button, "Factory reset", {3600, 8160, 2500, 495}, Anchor::UnderMap, "Factory reset",
     "Writes the factory thresholds into the box."},
    {"Pic", Kind::Frame, "", {1080, 8760, 4950, 100}, Anchor::UnderMap, "Firmware update progress",
     "How far the firmware update has come."},
    {"Progress", Kind::Bar, "", {0, 0, 4995, 195}, Anchor::Inside, "Firmware update progress bar",
     "Grows as the firmware is written into the box."},
    {"cmd_CheckFirmware", Kind::Button, "Get latest firmware", {720, 8160, 2500, 495}, Anchor::UnderMap, "Get latest firmware",
     "Asks the update service for newer firmware for the box and offers to write it."},
    {"btnUpdate", Kind::Button, "Save calibration", {3600, 7200, 2500, 495}, Anchor::UnderMap, "Save calibration",
     "Writes the thresholds shown into the box and reads them back."},
    {"Text10", Kind::Text, "0", {3960, 2160, 735, 375}, Anchor::AboveMap, "Threshold h2",
     ""},
    {"Text9", Kind::Text, "0", {2160, 2160, 735, 375}, Anchor::AboveMap, "Threshold h1",
     ""},
    {"Text8", Kind::Text, "0", {5640, 5760, 735, 375}, Anchor::RightOfMap, "Threshold v1",
     ""},
    {"Text7", Kind::Text, "0", {5640, 3240, 735, 375}, Anchor::RightOfMap, "Threshold v2",
     ""},
    {"lblSerialNumber", Kind::FrameLabel, "", {1920, 1440, 3420, 330}, Anchor::InFrameWide, "Serial number",
     "The serial number of the box."},
    {"lblVersion", Kind::FrameLabel, "", {1920, 1080, 3420, 330}, Anchor::InFrameWide, "Firmware version",
     "The firmware version of the box."},
    {"lblProduct", Kind::FrameLabel, "", {1920, 720, 3780, 330}, Anchor::InFrameWide, "Product name",
     "The product name the box reports."},
    {"lblManuf", Kind::FrameLabel, "", {1920, 360, 3780, 330}, Anchor::InFrameWide, "Manufacturer",
     "The manufacturer the box reports."},
    {"Label2", Kind::FrameLabel, "Firmware version", {240, 1080, 1695, 285}, Anchor::InFrame, "Firmware version",
     "Caption of the firmware version."},
    {"Label5", Kind::FrameLabel, "Product name", {240, 720, 1575, 285}, Anchor::InFrame, "Product name",
     "Caption of the product name."},
    {"Label4", Kind::FrameLabel, "Manufacturer", {240, 360, 1215, 285}, Anchor::InFrame, "Manufacturer",
     "Caption of the manufacturer."},
    {"Label3", Kind::FrameLabel, "Serial number", {240, 1440, 1815, 285}, Anchor::InFrame, "Serial number",
     "Caption of the serial number."},
    {"Gear", Kind::Label, "1", {5640, 4080, 795, 1365}, Anchor::Gear, "Gear",
     "The gear the box decodes from the stick position."},
    {"TickV2", Kind::Marker, "", {5380, 3120, 200, 45}, Anchor::RightOfMap, "Stick Y marker, right",
     "Follows the stick's Y position beside the travel map."},
    {"TickV1", Kind::Marker, "", {1290, 3120, 200, 45}, Anchor::LeftOfMap, "Stick Y marker, left",
     "Follows the stick's Y position beside the travel map."},
    {"TickH1", Kind::Marker, "", {1560, 2570, 45, 200}, Anchor::AboveMap, "Stick X marker, top",
     "Follows the stick's X position above the travel map."},
    {"TickH2", Kind::Marker, "", {1560, 6650, 45, 200}, Anchor::BelowMap, "Stick X marker, bottom",
     "Follows the stick's X position below the travel map."},
    {"lblY", Kind::Value, "000", {600, 4560, 615, 255}, Anchor::LeftOfMap, "Stick Y",
     "The stick's Y position, 0 to 255, upwards."},
    {"lblX", Kind::Value, "000", {2880, 6860, 1005, 375}, Anchor::BelowMap, "Stick X",
     "The stick's X position, 0 to 255, to the right."},
    // Over the version and serial rows of the information frame (hidden
    // meanwhile) down to the threshold boxes, outside the frame, so that it
    // stays readable while the frame is greyed: four lines of a sentence
    // about the box's permissions.
    {"lblNotice", Kind::Label, "", {360, 1200, 6135, 960}, Anchor::Top, "Notice",
     "Why the box cannot be used, that there is no box to plug in, or what a firmware update is doing."},
    // Between the information frame and the threshold boxes.
    {"lblSaved", Kind::Label, "", {240, 1940, 6255, 220}, Anchor::SavedLine, "Save result",
     "Says what the last save, or the last firmware update, put into the box."},
    // Left of the update's progress frame while the image downloads.
    {"cmd_StopDownload", Kind::Button, "Stop", {120, 8670, 900, 300}, Anchor::UnderMap,
     "Stop the firmware download",
     "Stops the firmware download; nothing is sent to the box."},
    // Right of the progress frame: how far the bar has come.
    {"lblProgress", Kind::Label, "", {6090, 8670, 600, 300}, Anchor::UnderMap,
     "Firmware update progress, percent", "How far the firmware update has come, in percent of the bar."},
    // Left of h1's box: the mode whose thresholds are on show.
    {"lblMode", Kind::Label, "", {120, 2160, 1500, 375}, Anchor::Inside, "Mode on show",
     "The mode the box reports, H-pattern or Sequential, whose thresholds and lines are shown."},
    // Beside each threshold box, the name of the threshold it holds; placed
    // by their boxes (lay_out).
    {"lblName9", Kind::Label, "h1", {0, 0, 255, 375}, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
    {"lblName10", Kind::Label, "h2", {0, 0, 255, 375}, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
    {"lblName7", Kind::Label, "v2", {0, 0, 255, 375}, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
    {"lblName8", Kind::Label, "v1", {0, 0, 255, 375}, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
};
}  // namespace

std::span<const Control> controls() { return kControls; }

const Control& control(std::string_view name) {
    for (const Control& c : kControls)
        if (name == c.name) return c;
    assert(!"a control the design lacks");
    return kControls[0];
}

int px(int twips) { return (twips + 7) / 15; }

Place pixels(const Place& t) { return {px(t.left), px(t.top), px(t.width), px(t.height)}; }

}  // namespace design

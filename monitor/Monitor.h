#pragma once
// The live monitor's work on the window's controls: what one batch of input
// reports does to the gear caption, the value labels, the markers, the travel
// map, the threshold lines and text boxes. The window owns the controls and
// hands them over by pointer.

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "GraphView.h"
#include "MonitorState.h"

namespace monitor {

struct MonitorControls {
    QLabel* Gear = nullptr;
    QLabel* lblX = nullptr;
    QLabel* lblY = nullptr;
    QLineEdit* Text7 = nullptr;   // v2 / s2
    QLineEdit* Text8 = nullptr;   // v1 / s1
    QLineEdit* Text9 = nullptr;   // h1
    QLineEdit* Text10 = nullptr;  // h2
    GraphView* Graph = nullptr;
    QWidget* TickV1 = nullptr;
    QWidget* TickV2 = nullptr;
    QWidget* TickH1 = nullptr;
    QWidget* TickH2 = nullptr;
};

// Clears both traces, restarts the range and stretches the threshold lines
// across the whole map. Thresholds, text boxes and drawing are left alone.
void initialise_values(MonitorState& s, GraphView& graph);

// One batch of input reports, already in the buffer with a leading report-ID
// byte per report: range capture and points for every report, derivation while
// calibrating, captions and markers from the first report, layout on a change
// of mode, the per-tick replot, text read-back and line placement.
void process_batch(const std::uint8_t* buffer, int bytes_read, int report_length, MonitorState& s,
                   Thresholds& t, const MonitorControls& c);

// The text boxes of a mode read back into the working thresholds at once, as
// a tick does, with their lines placed (Enter in a box).
void read_back_texts(std::uint8_t mode, Thresholds& t, const MonitorControls& c);

// The threshold text boxes of a mode, refilled from the working values
// (used on a change of layout).
void fill_mode_texts(std::uint8_t mode, const Thresholds& t, const MonitorControls& c);

}  // namespace monitor

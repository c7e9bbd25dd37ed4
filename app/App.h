#pragma once
#include <QApplication>

// Parses the command line, picks the HID backend (hidapi, or the emulated box
// with --demo), shows the window and runs the event loop.
int run_app(QApplication& app);

// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The main of every test that needs a Qt application object: a
// QApplication on the offscreen platform, or a QCoreApplication where
// SHIFTER_TEST_CORE_APPLICATION is defined (tests that link no widgets).
#include <gtest/gtest.h>

#ifdef SHIFTER_TEST_CORE_APPLICATION
#include <QCoreApplication>
#else
#include <QApplication>
#include <QStandardPaths>
#endif

int main(int argc, char** argv) {
#ifdef SHIFTER_TEST_CORE_APPLICATION
    QCoreApplication app(argc, argv);
#else
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Nothing a test does lands in the user's own application data.
    QStandardPaths::setTestModeEnabled(true);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

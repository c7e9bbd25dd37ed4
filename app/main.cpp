#include <QApplication>
#include <cstdio>
#include <memory>

#include "App.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return run_app(app);
}

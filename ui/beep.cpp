#include "ui/beep.h"

#include <QApplication>

namespace orv {

namespace {
int beeps = 0;
} // namespace

void beep() {
    ++beeps;
    QApplication::beep();
}

int beepCount() { return beeps; }

} // namespace orv

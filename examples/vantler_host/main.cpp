// A small host of the Vantler control: places it on a form, draws a line and a frame of points
// on it, and saves what it shows as a JPEG at the chosen quality.
//   vantler-example [output.jpg] [quality] [--show]
#include "control_error.h"
#include "vantler.h"

#include <QApplication>
#include <QTextStream>
#include <QVBoxLayout>

#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool show = args.removeAll(QStringLiteral("--show")) > 0;
    const QString output = args.value(0, QStringLiteral("vantler-example.jpg"));
    bool ok = true;
    const int quality = args.size() > 1 ? args.at(1).toInt(&ok) : 75;
    QTextStream err(stderr);
    if (!ok) {
        err << "The quality must be a whole number, for example 75.\n";
        return 2;
    }

    QWidget form;
    form.setWindowTitle(QStringLiteral("Vantler example"));
    auto* control = new vantler::Vantler(&form);
    control->InitProperties();
    control->setFixedSize(240, 160);
    auto* layout = new QVBoxLayout(&form);
    layout->addWidget(control);
    form.show();  // lays the form out, so the control has its final size before drawing

    try {
        control->setAutoRedraw(true);
        control->setBackColor(0x00FFFFFF);
        control->setScaleMode(vantler::vbPixels);
        control->setDrawWidth(3);
        control->Line(0, 10, 10, 225, 145, 0x000000FF);  // red
        control->setDrawWidth(1);
        for (int x = 0; x < 236; x += 4) {
            control->PSet_(x, 2, 0x00FF0000);  // blue
            control->PSet_(x, 153, 0x00FF0000);
        }
        control->setQuality(quality);
    } catch (const vantler::VantlerError& e) {
        err << "error " << e.number() << " (" << e.what() << ")\n";
        return 1;
    }

    if (!control->Save(output)) {
        err << "Could not write " << output << " at quality " << quality << ".\n";
        return 1;
    }
    QTextStream(stdout) << "Saved " << output << " at quality " << quality << ".\n";
    return show ? app.exec() : EXIT_SUCCESS;
}

// The Designer plugin's description of Vantler and the factory Designer calls.
#include "designer_plugin.h"

#include "vantler.h"

#include <QIcon>

VantlerDesignerPlugin::VantlerDesignerPlugin(QObject* parent) : QObject(parent) {}

QString VantlerDesignerPlugin::name() const { return QStringLiteral("vantler::Vantler"); }
QString VantlerDesignerPlugin::group() const { return QStringLiteral("Orvanta"); }
QString VantlerDesignerPlugin::toolTip() const { return QStringLiteral("Picture box that saves JPEG files"); }
QString VantlerDesignerPlugin::whatsThis() const {
    return QStringLiteral("A picture box: draw on it with Line, PSet and PaintPicture, then call Save to write "
                          "what it shows as a JPEG file at the chosen Quality.");
}
QString VantlerDesignerPlugin::includeFile() const { return QStringLiteral("vantler.h"); }
QIcon VantlerDesignerPlugin::icon() const { return {}; }
bool VantlerDesignerPlugin::isContainer() const { return false; }

QWidget* VantlerDesignerPlugin::createWidget(QWidget* parent) {
    auto* control = new vantler::Vantler(parent);
    control->setUserMode(false);
    control->InitProperties();
    return control;
}

bool VantlerDesignerPlugin::isInitialized() const { return initialized_; }
void VantlerDesignerPlugin::initialize(QDesignerFormEditorInterface*) { initialized_ = true; }

QString VantlerDesignerPlugin::domXml() const {
    return QStringLiteral(
        "<ui language=\"c++\">\n"
        " <widget class=\"vantler::Vantler\" name=\"vantler\">\n"
        "  <property name=\"geometry\">\n"
        "   <rect><x>0</x><y>0</y><width>101</width><height>117</height></rect>\n"
        "  </property>\n"
        " </widget>\n"
        "</ui>\n");
}

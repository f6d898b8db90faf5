// The library's entry points. Registration is a symbolic link to the Designer plugin in the
// user's Designer plugin folder; the class factory creates Vantler widgets.
#include "exports.h"

#include "vantler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <atomic>
#include <cstring>

#include <dlfcn.h>

#ifndef VANTLER_DESIGNER_PLUGIN_FILE
#define VANTLER_DESIGNER_PLUGIN_FILE "libvantlerdesigner.so"
#endif
#ifndef VANTLER_DESIGNER_PLUGIN_SUBDIR
#define VANTLER_DESIGNER_PLUGIN_SUBDIR "qt6/plugins/designer"
#endif

namespace vantler {
namespace {

std::atomic<int> serverLocks{0};

class Factory final : public VantlerClassFactory {
public:
    Vantler* CreateInstance(QWidget* parent) override {
        auto* control = new Vantler(parent);
        control->InitProperties();
        return control;
    }
    void LockServer(bool lock) override { serverLocks += lock ? 1 : -1; }
};

// The folder this library was loaded from. The address asked about is this function's own: an
// exported one could resolve to another copy of the library loaded earlier in the process.
QString libraryFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&libraryFolder), &info) || !info.dli_fname) return {};
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
}

// Where the Designer plugin of this library may be: beside it (the build tree), or in Qt
// Designer's plugin folder of the prefix it is installed in.
QStringList pluginCandidates() {
    const QString folder = libraryFolder();
    if (folder.isEmpty()) return {};
    const QString file = QStringLiteral(VANTLER_DESIGNER_PLUGIN_FILE);
    return {folder + QLatin1Char('/') + file,
            QDir::cleanPath(folder + QStringLiteral("/" VANTLER_DESIGNER_PLUGIN_SUBDIR "/") + file)};
}

// The plugin that registration links: the first candidate that exists, empty when none does.
QString pluginPath() {
    for (const QString& candidate : pluginCandidates())
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).absoluteFilePath();
    return {};
}

}  // namespace

QString designerPluginLinkPath() {
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) home = QDir::homePath();
    return home + QStringLiteral("/.designer/plugins/") + QStringLiteral(VANTLER_DESIGNER_PLUGIN_FILE);
}

}  // namespace vantler

using namespace vantler;

std::int32_t DllRegisterServer() {
    const QString plugin = pluginPath();
    if (plugin.isEmpty()) return SELFREG_E_CLASS_;
    const QString link = designerPluginLinkPath();
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        if (existing.symLinkTarget() == plugin) return S_OK_;
        QFile::remove(link);  // an older registration of this plugin from another folder
    } else if (existing.exists()) {
        return SELFREG_E_CLASS_;  // someone else's file: left alone
    }
    if (!QDir().mkpath(QFileInfo(link).absolutePath())) return SELFREG_E_CLASS_;
    return QFile::link(plugin, link) ? S_OK_ : SELFREG_E_CLASS_;
}

std::int32_t DllUnregisterServer() {
    const QString link = designerPluginLinkPath();
    const QFileInfo existing(link);
    if (!existing.isSymLink()) return S_OK_;  // not registered, or not our file
    bool ours = false;
    for (const QString& candidate : pluginCandidates())
        ours = ours || existing.symLinkTarget() == QFileInfo(candidate).absoluteFilePath();
    if (!ours) return S_OK_;
    return QFile::remove(link) ? S_OK_ : SELFREG_E_CLASS_;
}

std::int32_t DllGetClassObject(const char* classId, void** factory) {
    if (!factory) return E_POINTER_;
    *factory = nullptr;
    if (!classId || (std::strcmp(classId, kVantlerProgId) != 0 && std::strcmp(classId, kVantlerClassName) != 0))
        return CLASS_E_CLASSNOTAVAILABLE_;
    static Factory instance;
    *factory = static_cast<VantlerClassFactory*>(&instance);
    return S_OK_;
}

std::int32_t DllCanUnloadNow() { return liveVantlerCount() == 0 && serverLocks.load() <= 0 ? S_OK_ : S_FALSE_; }

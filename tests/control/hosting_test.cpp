// Hosting: the Designer plugin loaded with QPluginLoader, the class factory, the unload check
// and registration of the plugin link in the user's Designer plugin folder.
#include "exports.h"
#include "vantler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPluginLoader>
#include <QScopeGuard>
#include <QTemporaryDir>
#ifdef VANTLER_DESIGNER_PLUGIN_PATH
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#endif
#include <gtest/gtest.h>

#include <memory>

#include <dlfcn.h>

namespace {

// Points HOME at a temporary folder for one test.
struct TemporaryHome {
    QTemporaryDir dir;
    QByteArray saved = qgetenv("HOME");
    TemporaryHome() { qputenv("HOME", dir.path().toLocal8Bit()); }
    ~TemporaryHome() { qputenv("HOME", saved); }
};

}  // namespace

#ifdef VANTLER_DESIGNER_PLUGIN_PATH
TEST(DesignerPlugin, LoadsAndCreatesAControlInDesignMode) {
    QPluginLoader loader(QStringLiteral(VANTLER_DESIGNER_PLUGIN_PATH));
    QObject* instance = loader.instance();
    ASSERT_NE(instance, nullptr) << loader.errorString().toStdString();
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(instance);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->name(), QStringLiteral("vantler::Vantler"));
    EXPECT_TRUE(plugin->domXml().contains(QStringLiteral("class=\"vantler::Vantler\"")));
    std::unique_ptr<QWidget> widget(plugin->createWidget(nullptr));
    auto* control = qobject_cast<vantler::Vantler*>(widget.get());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Important(), vantler::kImportantNote) << "readable at design time";
    EXPECT_GE(control->metaObject()->indexOfProperty("Quality"), 0);
}
#endif

TEST(ClassFactory, CreatesControlsAndBlocksUnloadingWhileOneLives) {
    void* object = nullptr;
    ASSERT_EQ(DllGetClassObject("VantlerOCX.Vantler", &object), vantler::S_OK_);
    auto* factory = static_cast<vantler::VantlerClassFactory*>(object);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), vantler::S_OK_);
    std::unique_ptr<vantler::Vantler> control(factory->CreateInstance(nullptr));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Quality(), 95);
    EXPECT_EQ(DllCanUnloadNow(), vantler::S_FALSE_);
    control.reset();
    EXPECT_EQ(DllCanUnloadNow(), vantler::S_OK_);
    factory->LockServer(true);
    EXPECT_EQ(DllCanUnloadNow(), vantler::S_FALSE_);
    factory->LockServer(false);
    EXPECT_EQ(DllCanUnloadNow(), vantler::S_OK_);
}

TEST(ClassFactory, UnknownClassesAndMissingOutArgumentAreRefused) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject("Something.Else", &object), vantler::CLASS_E_CLASSNOTAVAILABLE_);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DllGetClassObject("Vantler", nullptr), vantler::E_POINTER_);
}

#ifdef VANTLER_DESIGNER_PLUGIN_PATH
TEST(Registration, LinksThePluginAndRemovesOnlyItsOwnLink) {
    TemporaryHome home;
    const QString link = vantler::designerPluginLinkPath();
    EXPECT_TRUE(link.startsWith(home.dir.path() + QStringLiteral("/.designer/plugins/")));
    ASSERT_EQ(DllRegisterServer(), vantler::S_OK_);
    const QFileInfo info(link);
    ASSERT_TRUE(info.isSymLink());
    EXPECT_EQ(info.symLinkTarget(), QFileInfo(QStringLiteral(VANTLER_DESIGNER_PLUGIN_PATH)).absoluteFilePath());
    EXPECT_EQ(DllRegisterServer(), vantler::S_OK_) << "registering twice is fine";
    EXPECT_EQ(DllUnregisterServer(), vantler::S_OK_);
    EXPECT_FALSE(QFileInfo(link).exists() || QFileInfo(link).isSymLink());

    QFile foreign(link);
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("not ours");
    foreign.close();
    EXPECT_EQ(DllRegisterServer(), vantler::SELFREG_E_CLASS_);
    EXPECT_EQ(DllUnregisterServer(), vantler::S_OK_);
    EXPECT_TRUE(QFileInfo(link).isFile()) << "a file we did not create is never deleted";
}
#endif

#ifdef VANTLER_DESIGNER_PLUGIN_PATH
TEST(Registration, AnInstalledLibraryLinksThePluginFromDesignersFolder) {
    // A copy of the library and its plugin laid out as `cmake --install` lays them out: the
    // plugin in Qt Designer's folder under the library's, not beside it.
    TemporaryHome home;
    QTemporaryDir prefix;
    const QString lib = prefix.filePath(QStringLiteral("lib"));
    const QString pluginFolder = QDir::cleanPath(lib + QStringLiteral("/" VANTLER_DESIGNER_PLUGIN_SUBDIR));
    ASSERT_TRUE(QDir().mkpath(pluginFolder));
    const QString library = lib + QStringLiteral("/libvantler.so.0");
    const QString plugin = pluginFolder + QStringLiteral("/") +
                           QFileInfo(QStringLiteral(VANTLER_DESIGNER_PLUGIN_PATH)).fileName();
    ASSERT_TRUE(QFile::copy(QStringLiteral(VANTLER_LIBRARY_FILE), library));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VANTLER_DESIGNER_PLUGIN_PATH), plugin));

    // The copy is a second library in this process; it stays loaded, as a host keeps it.
    void* copy = dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(copy, nullptr) << dlerror();
    using EntryPoint = std::int32_t (*)();
    const auto registerServer = reinterpret_cast<EntryPoint>(dlsym(copy, "DllRegisterServer"));
    const auto unregisterServer = reinterpret_cast<EntryPoint>(dlsym(copy, "DllUnregisterServer"));
    ASSERT_TRUE(registerServer && unregisterServer);

    const QString link = vantler::designerPluginLinkPath();
    ASSERT_EQ(registerServer(), vantler::S_OK_);
    ASSERT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget().toStdString(), QFileInfo(plugin).absoluteFilePath().toStdString())
        << "the installed copy links its own plugin";
    EXPECT_EQ(unregisterServer(), vantler::S_OK_);
    EXPECT_FALSE(QFileInfo(link).exists() || QFileInfo(link).isSymLink());
}
#endif

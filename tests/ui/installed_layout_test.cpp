// An installed program (programs in PREFIX/bin, shared files in PREFIX/share/orvanta) finds its
// help pages there, and a build tree keeps finding them beside the programs.
#include "ui/help_window.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct HelpFolderGuard {
    ~HelpFolderGuard() { setHelpProgramFolder({}); }
};

TEST(InstalledLayout, HelpBesideTheProgramWinsOverTheSharedFolder) {
    HelpFolderGuard guard;
    QTemporaryDir prefix;
    const QString bin = prefix.path() + QStringLiteral("/bin/");
    ASSERT_TRUE(QDir().mkpath(prefix.path() + QStringLiteral("/share/orvanta/help")));
    ASSERT_TRUE(QDir().mkpath(bin));
    setHelpProgramFolder(bin);
    EXPECT_EQ(helpFolder(), prefix.path() + QStringLiteral("/share/orvanta/help/"));
    ASSERT_TRUE(QDir().mkpath(bin + QStringLiteral("help")));
    EXPECT_EQ(helpFolder(), bin + QStringLiteral("help/"));
}

} // namespace

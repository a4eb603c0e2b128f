#include "testenv.h"

#include <QTemporaryDir>
#include <QtGlobal>

namespace {
QTemporaryDir *g_home = nullptr;
}

namespace TestEnv {

void useTemporaryHome()
{
    if (!g_home) {
        g_home = new QTemporaryDir(QStringLiteral("/tmp/qmtest-home-XXXXXX")); // removed at exit
        g_home->setAutoRemove(true);
        static struct Cleanup { ~Cleanup() { delete g_home; } } cleanup;
    }
    qputenv("HOME", g_home->path().toUtf8());
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"})
        qunsetenv(name);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

QString home()
{
    return g_home ? g_home->path() : QString();
}

} // namespace TestEnv

#pragma once

#include <QString>

namespace TestEnv {

// Points HOME (and with it the documents folder) at a new empty folder that lives until the
// process ends, so a test never touches the user's own files. Call before QApplication.
void useTemporaryHome();

// The temporary HOME in use.
QString home();

} // namespace TestEnv

// main() for a test class: a temporary HOME, then the QApplication, then the tests.
#define QM_TEST_MAIN_WITH(TestObject, Prepare)                                                     \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestEnv::useTemporaryHome();                                                               \
        Prepare;                                                                                   \
        QApplication app(argc, argv);                                                              \
        QApplication::setQuitOnLastWindowClosed(false);                                            \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define QM_TEST_MAIN(TestObject) QM_TEST_MAIN_WITH(TestObject, (void)0)

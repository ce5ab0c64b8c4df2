#include "tests/editor-ui/qt_test_app.h"

#include "editor/ui/pelmora_app.h"

#include <cstdlib>

QApplication& ensureQtApp()
{
    static QApplication* app = [] {
        // Tests run without a display unless one is asked for.
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "pelmora-tests";
        static char* argv[] = {name, nullptr};
        auto* created = new QApplication(argc, argv);
        applyApplicationIdentity();
        return created;
    }();
    return *app;
}

#include "tests/editor-ui/qt_test_app.h"

// A QApplication for GoogleTest executables that drive Qt widgets offscreen. The application
// is made once, on the test thread, the first time a test asks for it.
#pragma once

#include <QApplication>

#include <gtest/gtest.h>

QApplication& ensureQtApp();

// Base fixture of widget tests: the application exists before each test body runs.
class QtWidgetTest : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApp(); }
};

// main() for a headless widget test: the offscreen platform must be chosen
// before the application object exists.
#pragma once

#include <QApplication>
#include <QTest>

#define ROWTICK_WINDOW_TEST_MAIN(TestClass)                 \
    int main(int argc, char* argv[])                        \
    {                                                       \
        qputenv("QT_QPA_PLATFORM", "offscreen");            \
        QApplication app(argc, argv);                       \
        app.setAttribute(Qt::AA_Use96Dpi, true);            \
        TestClass test;                                     \
        return QTest::qExec(&test, argc, argv);             \
    }

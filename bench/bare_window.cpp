// bare-window: a plain Qt widget window of the main window's size, shown and
// left running: the reference for how soon a Qt window can appear.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(408, 329);
    window.show();
    return app.exec();
}

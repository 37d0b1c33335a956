#include <QApplication>

#include "Form1.h"
#include "QtDesktop.h"
#include "Startup.h"

int main(int argc, char* argv[])
{
    rowtick::StartLoadingFonts();
    QApplication app(argc, argv);
    rowtick::SetUpApplication(app);

    rowtick::QtDesktop desktop;
    rowtick::Form1 window(desktop);
    window.show();
    return app.exec();
}

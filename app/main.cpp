#include <QApplication>

#include <iostream>

#include "CommandLine.h"
#include "Form1.h"
#include "QtDesktop.h"
#include "Startup.h"

int main(int argc, char* argv[])
{
    rowtick::CommandLine commandLine(argc, argv);
    if (commandLine.answerQuestion(std::cout))
        return 0;

    QApplication app(commandLine.toolkitArgc(), commandLine.toolkitArgv());
    rowtick::SetUpApplication(app);

    rowtick::QtDesktop desktop;
    rowtick::Form1 window(desktop);
    if (!commandLine.openIn(window, std::cerr))
        return 2;
    window.show();
    return app.exec();
}

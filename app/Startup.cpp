#include "Startup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "Pictures.h"

namespace rowtick {

bool SetUpApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("Rowtick"));
    QApplication::setApplicationVersion(QStringLiteral(ROWTICK_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Halvern"));
    QApplication::setWindowIcon(QIcon(pictures::Program()));
    QGuiApplication::setDesktopFileName(QStringLiteral(ROWTICK_APP_ID));

    // The user interface is Japanese whatever the desktop's language, so the
    // file dialog and the message-box buttons must be too.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    auto* translator = new QTranslator(&app);
    const bool found = translator->load(japanese,
                                        QStringLiteral("qtbase"), QStringLiteral("_"),
                                        QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (found)
        QApplication::installTranslator(translator);
    else
        delete translator;
    return found;
}

}  // namespace rowtick

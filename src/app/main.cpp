#include "shell/frmKelmar.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelmar"));
    frmKelmar window;
    if (!window.loaded())
        return 1;
    window.showInStoredState();
    return app.exec();
}

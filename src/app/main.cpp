#include "shell/frmKelmar.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelmar"));
    frmKelmar window;
    window.show();
    return app.exec();
}

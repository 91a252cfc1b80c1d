#include "shell/frmKelmar.h"

frmKelmar::frmKelmar(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmKelmar"));
    setWindowTitle(QStringLiteral("Kelmar 1.25"));
}

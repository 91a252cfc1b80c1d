#pragma once

#include <QMainWindow>

class frmKelmar : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmKelmar(QWidget* parent = nullptr);
};

#include "about.h"
#include "ui_about.h"

About::About(QWidget *parent) : QDialog(parent), ui(new Ui_About)
{
    ui->setupUi(this);
    connect(ui->btn_ok, &QPushButton::clicked, this, &QWidget::hide);
}

About::~About()
{
    delete ui;
}

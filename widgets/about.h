#ifndef ABOUT_H
#define ABOUT_H

#include <QDialog>

class Ui_About;

class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

private:
    Ui_About *ui;
};

#endif // ABOUT_H

#ifndef FINDBAR_H
#define FINDBAR_H

#include <QObject>
#include <QPointer>

class Announcer;
class PaneFinder;
class QAction;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

// The bar under the pane that finds text in it: the form's findBar and its
// controls, with Find, Find Next and Find Previous from the View menu. It
// finds as the person types; Return and F3 go to the next match, Shift with
// them to the previous one; Escape closes it and gives the focus back to
// where it was. The count is shown and said.
class FindBar : public QObject
{
    Q_OBJECT

public:
    struct Controls {
        QWidget *bar = nullptr;
        QLineEdit *text = nullptr;
        QToolButton *previous = nullptr;
        QToolButton *next = nullptr;
        QToolButton *close = nullptr;
        QLabel *count = nullptr;
        QAction *find = nullptr;
        QAction *findNext = nullptr;
        QAction *findPrevious = nullptr;
    };
    FindBar(const Controls &controls, PaneFinder *finder, Announcer *announcer, QObject *parent);

    static QString countText(int current, int total, bool complete);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void open();
    void close();
    void goNext();
    void goPrevious();
    void go(void (PaneFinder::*step)());
    void showResult();

    Controls controls;
    PaneFinder *finder = nullptr;
    Announcer *announcer = nullptr;
    QPointer<QWidget> focusBefore;
    // Said once the count is complete, and after every step.
    bool sayWhenComplete = false;
    QString said;
};

#endif // FINDBAR_H

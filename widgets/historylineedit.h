#ifndef HISTORYLINEEDIT_H
#define HISTORYLINEEDIT_H

#include <QLineEdit>
#include <QStringList>

class QKeyEvent;

// A line edit that remembers the last ten lines sent from it; Up and Down
// walk through them, newest first.
class historyLineEdit : public QLineEdit
{
public:
    explicit historyLineEdit(QWidget *parent = nullptr);

    // Stores the current text as the newest line and clears the field.
    void addToHistory();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void historyUp();
    void historyDown();

    QStringList history;
    int historyIndex = 0;
};

#endif // HISTORYLINEEDIT_H

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

    // Newest first, at most ten.
    QStringList history;
    // The entry the next Up shows; -1 means below the newest entry, where
    // Down has cleared the field and the next Up only moves back to 0.
    int historyIndex = 0;
};

#endif // HISTORYLINEEDIT_H

#ifndef HISTORYLINEEDIT_H
#define HISTORYLINEEDIT_H

#include <QLineEdit>
#include <QStringList>

class QEvent;
class QKeyEvent;

// A line edit that remembers the last ten lines sent from it; Up and Down
// walk through them, newest first.
//
// While it sends every key (the window's Continu mode), Ctrl+C, Ctrl+D and
// Ctrl+] are keys for the device, as on a terminal: a REPL's interrupt, end
// of input, telnet's escape. Ctrl+Shift+C copies then.
class historyLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit historyLineEdit(QWidget *parent = nullptr);

    // Stores the current text as the newest line and clears the field.
    void addToHistory();
    void setSendsControlKeys(bool sends) { sendsControlKeys = sends; }

Q_SIGNALS:
    // A control key typed for the device: 0x03, 0x04 or 0x1d.
    void controlKeyTyped(char byte);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void historyUp();
    void historyDown();

    // Newest first, at most ten.
    QStringList history;
    // The entry the next Up shows; -1 means below the newest entry, where
    // Down has cleared the field and the next Up only moves back to 0.
    int historyIndex = 0;
    bool sendsControlKeys = false;
};

#endif // HISTORYLINEEDIT_H

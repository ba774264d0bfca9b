#ifndef PANEREADING_H
#define PANEREADING_H

#include <QObject>

class QPlainTextEdit;
class QScrollBar;

// The person reading the pane: a keyboard caret in text that still refuses
// typing (arrows, Home/End, PgUp/PgDn, Ctrl+Home/End, Shift to select,
// Ctrl+A, Ctrl+C), as a screen reader needs to read by line, word and
// character; and whether the view follows received text. It does while the
// caret is at the end and the view at the bottom. Once the person moves the
// caret away or scrolls up, the view, the caret and any selection stay
// where they are while text arrives; Ctrl+End, or scrolling back to the
// bottom, makes it follow again.
//
// Copying is the pane's text as it is, with '\n' line breaks: Qt copies a
// selection by first building a document of it, formats and all, which
// froze the window for seconds over a long session.
class PaneReading : public QObject
{
    Q_OBJECT

public:
    // Watches the pane, which owns this object.
    explicit PaneReading(QPlainTextEdit *pane);

    bool followsNewText() const { return following; }
    // Around the display's own moves of the caret and the view, which say
    // nothing of where the person is.
    void beginOwnMove() { ownMove = true; }
    void endOwnMove() { ownMove = false; }
    // After a Clear there is nothing to hold on to.
    void follow() { following = true; }

    // The selection's text with '\n' line breaks.
    static QString selectedText(const QPlainTextEdit &pane);
    // The whole pane's text, as a copy of all of it gives it.
    static QString allText(const QPlainTextEdit &pane);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void caretMoved();
    void personScrolled();
    void copy(bool toSelection);
    void selectAll();
    void showContextMenu(QPoint at);

    QPlainTextEdit *pane = nullptr;
    // Kept from the start: events still come while the pane is destroyed,
    // when it is no longer a QPlainTextEdit to ask.
    QWidget *view = nullptr;
    QScrollBar *bar = nullptr;
    bool following = true;
    bool ownMove = false;
};

#endif // PANEREADING_H

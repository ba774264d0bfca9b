#ifndef PANELAYOUT_H
#define PANELAYOUT_H

#include <QPlainTextDocumentLayout>

// The output pane's document layout: Qt's plain-text layout, except that
// while repaints are held, a change to the document asks for no repaint of
// its own; the display that holds them repaints what changed. Qt's repaints
// the whole view whenever a paragraph gains a line or more than one
// paragraph is added, which is nearly every time received text arrives: at
// a steady trickle that meant painting the whole pane many times a second,
// although only its last lines were new.
class PaneLayout : public QPlainTextDocumentLayout
{
    Q_OBJECT

public:
    explicit PaneLayout(QTextDocument *document);

    void holdRepaints(bool hold) { repaintsHeld = hold; }

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    bool repaintsHeld = false;
};

#endif // PANELAYOUT_H

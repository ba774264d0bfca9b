#ifndef PANELAYOUT_H
#define PANELAYOUT_H

#include <QPlainTextDocumentLayout>

// The output pane's document layout: Qt's plain-text layout, except that
// while repaints are held, a change to the document asks for no repaint of
// its own. Qt's asks for the whole view whenever a paragraph gains a line
// or more than one paragraph is added, which is nearly every time received
// text goes in at the end: at a steady trickle that meant painting the
// whole pane, and shaping every line in it again, many times a second,
// although only its last lines were new. The display that holds the
// repaints repaints what changed itself.
class PaneLayout : public QPlainTextDocumentLayout
{
    Q_OBJECT

public:
    explicit PaneLayout(QTextDocument *document);

    // On while the display adds text at the end of the document.
    void repaintOnlyChanges(bool only) { onlyChanges = only; }

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    bool onlyChanges = false;
};

#endif // PANELAYOUT_H

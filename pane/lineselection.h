#ifndef LINESELECTION_H
#define LINESELECTION_H

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>

class QMouseEvent;
class QPlainTextEdit;

// Makes a triple click in the output pane select the line under the mouse.
// The pane keeps received lines together in paragraphs, and a triple click
// of its own selects a whole paragraph: dozens of lines.
class LineSelection : public QObject
{
    Q_OBJECT

public:
    // Watches the pane's viewport; the pane owns this object.
    explicit LineSelection(QPlainTextEdit *pane);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isThirdClick(const QMouseEvent *press) const;
    void selectLineAt(QPoint position);

    QPlainTextEdit *pane = nullptr;
    QElapsedTimer sinceDoubleClick;
    QPoint doubleClickedAt;
    // From the third press to its release, the mouse belongs to this object.
    bool selecting = false;
};

#endif // LINESELECTION_H

#include "comboentry.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>

// From Qt 6.5 on, the box's own accessibility has a Selection interface,
// through which a screen reader finds the entry chosen. Before, it has no
// way to the entry at all: Orca 43 says "Einde combo box" on Tab, and
// nothing when Down changes it (it reads an entry from a selected child,
// or from the box's text, and takes a name change on a combo box for
// noise; Qt sends a description change with no text). So the box gets an
// interface whose text is its entry, which Orca reads on Tab. The entry is
// its text's selection, as in a box one can type in, so that Orca says a
// new entry going in, which it does for inserted text that is selected.
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
namespace {

const char *const sayEntryProperty = "sayEntry";

QString spokenEntry(const QComboBox *box)
{
    const QString spoken = box->currentData(Qt::AccessibleTextRole).toString();
    return spoken.isEmpty() ? box->currentText() : spoken;
}

class ComboBoxEntry : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ComboBoxEntry(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return entry();
        return QAccessibleWidget::text(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = box()->view()->isVisible();
        return state;
    }

    // The entry is one line of text, read whole by line, word or sentence.
    QString text(int start, int end) const override { return entry().mid(start, end - start); }
    int characterCount() const override { return int(entry().size()); }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *start,
                         int *end) const override
    {
        const QString text = entry();
        if (offset < 0 || offset > text.size() || text.isEmpty()) {
            *start = *end = -1;
            return QString();
        }
        if (boundary == QAccessible::CharBoundary) {
            *start = qMin(offset, int(text.size()) - 1);
            *end = *start + 1;
            return text.mid(*start, 1);
        }
        *start = 0;
        *end = int(text.size());
        return text;
    }
    QString textBeforeOffset(int, QAccessible::TextBoundaryType, int *start,
                             int *end) const override
    {
        *start = *end = -1;
        return QString();
    }
    QString textAfterOffset(int, QAccessible::TextBoundaryType, int *start, int *end) const override
    {
        *start = *end = -1;
        return QString();
    }
    void selection(int, int *start, int *end) const override
    {
        *start = 0;
        *end = characterCount();
    }
    int selectionCount() const override { return entry().isEmpty() ? 0 : 1; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *start, int *end) const override
    {
        *start = 0;
        *end = characterCount();
        return QString();
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
    QString entry() const { return spokenEntry(box()); }
};

QAccessibleInterface *comboBoxEntry(const QString &className, QObject *object)
{
    if (className != QLatin1String("QComboBox") || !object)
        return nullptr;
    auto *box = qobject_cast<QComboBox *>(object);
    return box && box->property(sayEntryProperty).toBool() ? new ComboBoxEntry(box) : nullptr;
}

} // namespace
#endif

void sayEntryOf(QComboBox *box)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
    // Qt may have made the box's accessibility while the form was built,
    // before the box was named or made editable: made again, it is this.
    static const bool installed = (QAccessible::installFactory(comboBoxEntry), true);
    Q_UNUSED(installed);
    box->setProperty(sayEntryProperty, true);
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(box);
        made && !dynamic_cast<ComboBoxEntry *>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    QObject::connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), box, [box] {
        QAccessibleTextInsertEvent inserted(box, 0, spokenEntry(box));
        QAccessible::updateAccessibility(&inserted);
    });
#else
    Q_UNUSED(box);
#endif
}

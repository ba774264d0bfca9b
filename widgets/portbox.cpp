#include "portbox.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace {

constexpr int ListTextRole = Qt::UserRole + 1;

// The list draws an entry's description; the box, its name.
class PortDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString text = index.data(ListTextRole).toString();
        if (!text.isEmpty())
            option->text = text;
    }
};

} // namespace

PortBox::PortBox(QWidget *parent) : QComboBox(parent)
{
    setItemDelegate(new PortDelegate(this));
}

void PortBox::setPorts(const QVector<Port> &ports)
{
    bool same = ports.size() == count();
    for (int i = 0; same && i < ports.size(); ++i)
        same = itemText(i) == ports.at(i).first && itemData(i, ListTextRole) == ports.at(i).second;
    if (same)
        return;

    const QString text = currentText();
    const int caret = lineEdit() ? lineEdit()->cursorPosition() : 0;
    const bool wasEmpty = count() == 0;
    clear();
    for (const Port &port : ports) {
        addItem(port.first);
        setItemData(count() - 1, port.second, ListTextRole);
        // A screen reader reads the list as it is shown.
        setItemData(count() - 1, port.second, Qt::AccessibleTextRole);
    }
    // As wide as its longest entry, which the box itself need not be.
    view()->setMinimumWidth(view()->sizeHintForColumn(0));
    // The first port found is chosen, as Qt chooses it, while nothing else
    // is in the box.
    if (wasEmpty && text.isEmpty() && !ports.isEmpty()) {
        setCurrentIndex(0);
        return;
    }
    setCurrentIndex(findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    if (lineEdit()) {
        if (lineEdit()->text() != text)
            lineEdit()->setText(text);
        lineEdit()->setCursorPosition(caret);
    }
}

void PortBox::showPopup()
{
    Q_EMIT popupAboutToShow();
    QComboBox::showPopup();
}

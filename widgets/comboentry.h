#ifndef COMBOENTRY_H
#define COMBOENTRY_H

class QComboBox;

// Has a screen reader say the entry of a combo box that cannot be typed in,
// when the box gets the focus and when Up or Down changes it. The spoken
// text of an entry is its Qt::AccessibleTextRole, or else its text.
void sayEntryOf(QComboBox *box);

#endif // COMBOENTRY_H

#ifndef LINEESCAPES_H
#define LINEESCAPES_H

#include <QByteArray>
#include <QString>

// The bytes a typed line stands for when it may name them: \xNN (one or two
// hex digits) any byte, \r, \n and \t the control characters, \0 a zero byte
// and \\ a backslash. Everything else, a backslash before anything else
// included (a lone one at the end, \x without a hex digit, \q), is sent as
// typed, in UTF-8.
QByteArray unescapedBytes(const QString &line);

#endif // LINEESCAPES_H

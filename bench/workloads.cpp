#include "workloads.h"

#include "paceddisplay.h"

const Workload workloads[8] = {
    {"lines", "80-character lines", '\n', 4096, false, false, Workload::NoLog},
    {"nobreak", "no line breaks", 0, 4096, false, false, Workload::NoLog},
    {"hex", "hex, no spaces or line breaks", 0, 4096, true, false, Workload::NoLog},
    {"cr", "lines ended by CR", '\r', 4096, false, false, Workload::NoLog},
    {"usb64", "80-char lines in 64-byte pieces", '\n', 64, false, false, Workload::NoLog},
    {"cleared", "lines after Clear of half as much", '\n', 4096, false, true, Workload::NoLog},
    {"esp", "ESP-IDF log lines", '\n', 4096, false, false, Workload::PlainLog},
    {"espcolour", "ESP-IDF log lines, coloured", '\n', 4096, false, false, Workload::ColouredLog},
};

const Workload *findWorkload(const QByteArray &name)
{
    for (const Workload &w : workloads) {
        if (name == w.name)
            return &w;
    }
    return nullptr;
}

QByteArray makeData(const Workload &workload, qint64 bytes)
{
    QByteArray data;
    data.reserve(int(bytes));
    if (workload.hex) {
        static const char digits[] = "0123456789ABCDEF";
        quint32 state = 12345;
        while (data.size() < bytes) {
            state = state * 1664525u + 1013904223u;
            data.append(digits[state >> 28]).append(digits[(state >> 24) & 15]);
        }
        data.truncate(int(bytes));
        return data;
    }
    int line = 0;
    if (workload.log != Workload::NoLog) {
        static const char levels[] = "IIIIWE";
        static const char *const colours[] = {"32", "32", "32", "32", "33", "31"};
        static const char *const tags[] = {"cpu_start", "heap_init", "wifi",
                                           "esp_netif", "spi_flash", "app_main"};
        while (data.size() < bytes) {
            const int kind = line % 6;
            QByteArray text;
            if (workload.log == Workload::ColouredLog)
                text += QByteArray("\x1b[0;") + colours[kind] + 'm';
            text += levels[kind] + QByteArray(" (") + QByteArray::number(line * 7) + ") " +
                    tags[(line / 6) % 6] + ": ";
            ++line;
            while (text.size() < 72)
                text.append(char('a' + (text.size() + line) % 26));
            if (workload.log == Workload::ColouredLog)
                text += "\x1b[0m";
            data.append(text).append('\n');
        }
        data.truncate(int(bytes));
        return data;
    }
    while (data.size() < bytes) {
        QByteArray text = QByteArray::number(line++).rightJustified(8, '0') + ' ';
        while (text.size() < 80)
            text.append(char('A' + (text.size() + line) % 26));
        if (workload.lineEnd)
            text.append(workload.lineEnd);
        data.append(text);
    }
    data.truncate(int(bytes));
    return data;
}

// One pass into one buffer: a list of every line would leave a hole in the
// heap as large as the text, and the pane's buffers would grow in it.
QString asShown(const QString &decoded)
{
    constexpr int longest = PacedDisplay::longestLine;
    QString shown;
    shown.reserve(decoded.size() + decoded.size() / longest + 1);
    int column = 0;
    for (const QChar c : decoded) {
        if (c == QLatin1Char('\n')) {
            column = 0;
        } else if (column == longest) {
            shown.append(QLatin1Char('\n'));
            column = 1;
        } else {
            ++column;
        }
        shown.append(c);
    }
    return shown;
}

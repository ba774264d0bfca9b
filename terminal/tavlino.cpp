#include "tavlino.h"
#include "ui_tavlino.h"

#include "about.h"
#include "announcer.h"
#include "comboentry.h"
#include "findbar.h"

#include "hangupwatch.h"
#include "lendwatch.h"
#include "lineescapes.h"
#include "linemenu.h"
#include "paceddisplay.h"
#include "panefinder.h"
#include "panereading.h"
#include "panezoom.h"
#include "portbox.h"
#include "portlist.h"
#include "portlistwatch.h"
#include "sessionlog.h"
#include "spokenreply.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Follows the order of input_einde's items in the form: nothing, "\n",
// "\r\n".
QByteArray lineEndBytes(int lineEndIndex)
{
    switch (lineEndIndex) {
    case 1:
        return QByteArrayLiteral("\n");
    case 2:
        return QByteArrayLiteral("\r\n");
    default:
        return QByteArray();
    }
}

// On Windows, a read or a wait for serial events that fails ends Qt's
// reading for good, whatever the error, and a driver reports its adapter
// pulled out as "access denied" or "device not functioning" as often as
// "device removed": Qt calls those a permission and an unknown error. (Wine
// reports a hung-up pty the second way, which left the port open and deaf.)
bool meansDeviceLost(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
        return true;
#ifdef Q_OS_WIN
    case QSerialPort::PermissionError:
    case QSerialPort::UnknownError:
        return true;
#endif
    default:
        return false;
    }
}

// The port name for what is in the Com box. Windows names its devices
// without regard to case, but Qt reaches COM10 and above only through the
// \\.\ device prefix, which it adds to names beginning with upper-case
// "COM": a typed com12 must become COM12.
QString portNameFor(const QString &typed)
{
    QString name = typed.trimmed();
#ifdef Q_OS_WIN
    if (name.size() > 3 && name.startsWith(QLatin1String("com"), Qt::CaseInsensitive)) {
        bool isNumber = false;
        name.mid(3).toUInt(&isNumber);
        if (isNumber)
            name.replace(0, 3, QStringLiteral("COM"));
    }
#endif
    return name;
}

// The rate in the Baud box, listed or typed, or 0 when what is there is no
// rate at all: nothing, 0, a sign, letters, or more than an int holds (the
// box lets only digits be typed). Qt would open such a port at the rate it
// had before.
qint32 rateFor(const QString &text)
{
    const QString digits = text.trimmed();
    const bool onlyDigits =
        std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool isNumber = false;
    const qint32 rate = digits.toInt(&isNumber, 10);
    return onlyDigits && isNumber && rate > 0 ? rate : 0;
}

} // namespace

Tavlino::Tavlino(QWidget *parent) : QMainWindow(parent), ui(new Ui_Tavlino)
{
    ui->setupUi(this);
    zoom = new PaneZoom(ui->output);
    connect(zoom, &PaneZoom::changed, this, &Tavlino::showZoom);
    display = new PacedDisplay(ui->output, this);
    // Ctrl+plus, and Ctrl+= where plus needs Shift.
    ui->actionZoomIn->setShortcuts(QKeySequence::keyBindings(QKeySequence::ZoomIn)
                                   << QKeySequence(Qt::CTRL | Qt::Key_Equal));
    ui->actionZoomOut->setShortcuts(QKeySequence::ZoomOut);
    connect(display, &PacedDisplay::aboutToShow, this, &Tavlino::takeHeldBytes);
    connect(ui->input, SIGNAL(returnPressed()), this, SLOT(input_return_Pressed()));
    // Type a port's path and press Return: the same as pressing Open, which
    // does nothing while it is disabled.
    connect(ui->input_com->lineEdit(), &QLineEdit::returnPressed, ui->btn_Open,
            &QAbstractButton::click);
    // Any other rate can be typed, as a port can: 74880 for an ESP8266's
    // boot ROM. Digits only, and without completion, which would turn a
    // typed 250 into the listed 250000.
    ui->input_baud->lineEdit()->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,10}")), ui->input_baud));
    ui->input_baud->setCompleter(nullptr);
    connect(ui->input_baud->lineEdit(), &QLineEdit::returnPressed, ui->btn_Open,
            &QAbstractButton::click);
    lineMenu = new LineMenu(ui->dataBitsGroup, ui->parityGroup, ui->stopBitsGroup,
                            ui->flowControlGroup, ui->actionDtr, ui->actionRts, this);
    connect(lineMenu, &LineMenu::frameChosen, this, &Tavlino::chooseFrame);
    // The line's settings at a glance, where a screen reader's "read the
    // status bar" finds them.
    lineLabel = new QLabel(this);
    lineLabel->setObjectName(QStringLiteral("lbl_line"));
    lineLabel->setToolTip(tr("Line settings"));
    ui->statusBar->addPermanentWidget(lineLabel);
    // While a log is on, where it goes, in sight and in the status bar a
    // screen reader reads.
    logLabel = new QLabel(this);
    logLabel->setObjectName(QStringLiteral("lbl_log"));
    logLabel->hide();
    ui->statusBar->insertPermanentWidget(0, logLabel);
    log = new SessionLog(this);
    connect(log, &SessionLog::failed, this, &Tavlino::logFailed);
    connect(ui->input_baud, &QComboBox::currentTextChanged, this, &Tavlino::showLineSettings);
    // A break is held for a quarter of a second, long enough for any
    // device at any rate to see one.
    breakTimer = new QTimer(this);
    breakTimer->setSingleShot(true);
    breakTimer->setTimerType(Qt::PreciseTimer);
    breakTimer->setInterval(250);
    connect(breakTimer, &QTimer::timeout, this, &Tavlino::endBreak);
    stampHold = new QTimer(this);
    stampHold->setSingleShot(true);
    stampHold->setTimerType(Qt::PreciseTimer);
    stampHold->setInterval(LineStamps::longestHoldMs);
    connect(stampHold, &QTimer::timeout, this, &Tavlino::endStampHold);
    settings = new QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvek"),
                             QStringLiteral("Tavlino"));
    loadSettings();
    listSerialPorts();
    // The list is read again when the person opens it, and when a device
    // comes or goes.
    connect(ui->input_com, &PortBox::popupAboutToShow, this, &Tavlino::listSerialPorts);
    portListWatch = new PortListWatch(this);
    connect(portListWatch, &PortListWatch::changed, this, &Tavlino::listSerialPorts);
    serial = new QSerialPort(this);
    connect(serial, &QSerialPort::errorOccurred, this, &Tavlino::serial_error_Occurred);
    showSessionState();
    about = new About(this);
    about->setModal(true);
    announcer = new Announcer(this, this);
    spokenReply = new SpokenReply(announcer, this);
    // Heard, the first line end would be silence.
    ui->input_einde->setItemData(0, QStringLiteral("no line end"), Qt::AccessibleTextRole);
    sayEntryOf(ui->input_einde);
    connect(ui->input, &QLineEdit::textEdited, spokenReply, &SpokenReply::personTyped);
    connect(ui->input, &historyLineEdit::controlKeyTyped, this, &Tavlino::sendControlByte);
    finder = new PaneFinder(ui->output);
    FindBar::Controls find;
    find.bar = ui->findBar;
    find.text = ui->input_find;
    find.previous = ui->btn_findPrevious;
    find.next = ui->btn_findNext;
    find.close = ui->btn_findClose;
    find.count = ui->lbl_findCount;
    find.find = ui->actionFind;
    find.findNext = ui->actionFindNext;
    find.findPrevious = ui->actionFindPrevious;
    findBar = new FindBar(find, finder, announcer, this);
}

Tavlino::~Tavlino()
{
    delete ui;
    delete settings;
}

void Tavlino::listSerialPorts()
{
    QVector<PortEntry> entries = presentPorts();
    // The port of the session stays listed, whatever it is named.
    const bool inSession = serial && (serial->isOpen() || lent || returnWatch);
    if (inSession) {
        const bool listed = std::any_of(entries.begin(), entries.end(), [this](const PortEntry &e) {
            return portNameFor(e.name) == openedName ||
                   QStringLiteral("/dev/") + e.name == openedName;
        });
        if (!listed) {
            entries << entryFor(openedName);
            entries = inListOrder(entries);
        }
    }
    QVector<PortBox::Port> ports;
    for (const PortEntry &entry : std::as_const(entries))
        ports << PortBox::Port(entry.name, entryText(entry));
    ui->input_com->setPorts(ports);
}

void Tavlino::on_btn_Open_clicked()
{
    const qint32 rate = rateFor(ui->input_baud->currentText());
    if (rate == 0)
        return;
    // A listed name or anything typed: ttyUSB1, /dev/pts/7, a by-id link.
    openPort(portNameFor(ui->input_com->currentText()), rate);
}

// Starts a session on the port: whichever port opened, a lost one is no
// longer waited for, and one lent is not taken back.
bool Tavlino::openPort(const QString &name, qint32 rate)
{
    if (!openSerial(name, rate))
        return false;
    // Qt 6.8 drops whatever the driver held before the port was opened (a
    // pty's earlier output, input left over from another program), Qt 5.15
    // and 6.4 pass it on: drop it on every Qt, so that Open always starts
    // with what the device says from then on.
    serial->clear(QSerialPort::Input);
    endWaits();
    openedName = name;
    openedDevice = identityOf(name);
    openedRate = rate;
    lendWatch = new LendWatch(serial, this);
    connect(lendWatch, &LendWatch::wanted, this, &Tavlino::lendPort);
    connect(lendWatch, &LendWatch::free, this, &Tavlino::takeBackPort);
    showSessionState();
    return true;
}

// Opens the port and wires it to the window; the session around it stays
// as it is.
bool Tavlino::openSerial(const QString &name, qint32 rate)
{
    serial->setPortName(name);
    // Qt reaches rates without a termios constant (250000, 74880) through
    // Linux's arbitrary-rate interface (termios2, BOTHER) by itself.
    serial->setBaudRate(rate);
    // Reads are never held at the start of a session.
    serial->setReadBufferSize(0);
    QStringList refused;
    changeLine([this, &refused] {
        prepareFrame(*serial, lines);
        if (serial->open(QIODevice::ReadWrite))
            return;
        // Qt sets the whole frame as it opens, and a driver that refuses
        // one part fails the Open: open with 8N1 and ask for each part.
        if (lines.sameFrameAs(LineSettings()))
            return;
        prepareFrame(*serial, LineSettings());
        if (serial->open(QIODevice::ReadWrite))
            refused = changeFrame(*serial, lines);
    });
    if (!serial->isOpen())
        return false;
    lines = frameOf(*serial, lines);
    changeLine([this] { driveModemLines(*serial, lines); });
    lineMenu->show(lines);
    tellRefused(name, refused);
    endHexLine();
    decoder.reset();
    hangUpWatch = new HangUpWatch(serial, this);
    connect(hangUpWatch, &HangUpWatch::hungUp, this, &Tavlino::closeLostPort);
    connect(serial, SIGNAL(readyRead()), this, SLOT(dataReadyToRead()), Qt::UniqueConnection);
    return true;
}

void Tavlino::closeSerial(LineOnClose line)
{
    // Its notifier must be gone before the descriptor it watches closes.
    delete hangUpWatch;
    hangUpWatch = nullptr;
    disconnect(serial, SIGNAL(readyRead()), this, SLOT(dataReadyToRead()));
    // Closing a tty does not end a break on every driver.
    breakTimer->stop();
    if (serial->isBreakEnabled())
        changeLine([this] { serial->setBreakEnabled(false); });
    if (line == LeaveLine)
        closeLeavingLine(serial);
    else
        serial->close();
    serial->clearError();
}

// The lost device is no longer waited for, nor the lent one taken back.
// Either watch may be the one whose news led here: they go once it is told.
void Tavlino::endWaits()
{
    for (QObject *watch :
         {static_cast<QObject *>(returnWatch), static_cast<QObject *>(lendWatch)}) {
        if (watch) {
            watch->disconnect(this);
            watch->deleteLater();
        }
    }
    returnWatch = nullptr;
    lendWatch = nullptr;
    lent = false;
}

// Open, or waited for (lent, or lost until it comes back), or closed.
void Tavlino::showSessionState()
{
    const bool open = serial->isOpen();
    ui->btn_send->setEnabled(open);
    ui->btn_Open->setEnabled(!open);
    ui->btn_close->setEnabled(open || lent || returnWatch);
    ui->actionBreak->setEnabled(open && !breakTimer->isActive());
    showLineSettings();
}

void Tavlino::on_btn_close_clicked()
{
    endWaits();
    if (serial->isOpen()) {
        // Everything the device said up to now, on the screen at once.
        readEverything();
        display->showAll();
        closeSerial();
    }
    showSessionState();
}

// How a received byte travels: the port's readyRead → dataReadyToRead reads
// everything buffered → the decoder turns whole characters into text (a
// character or CR LF cut between reads waits for its rest) → the lines it
// begins are stamped with the time of the read, and the log gets the text
// → the paced display queues it → at most one insert every 40 ms while the
// device streams (at a trickle the bytes wait in the driver meanwhile, 4 ms
// at most while lines are stamped), a backlog in pieces of one per pass of
// the event loop → the pane.
void Tavlino::dataReadyToRead()
{
    if (takingHeldBytes)
        return;
#ifdef Q_OS_UNIX
    // Stamped lines are read as they come, or nearly.
    const qreal charsPerByte = ui->actionHex->isChecked() ? HexLines::charsPerByte : 1;
    if (!stamps.isOn() && display->canWaitInDriver(serial->bytesAvailable(), charsPerByte)) {
        holdReads();
        return;
    }
#endif
    // A stamped line waits only when the device sends faster than the
    // wait: at a trickle, pieces come farther apart and are read as they
    // come.
    const bool dense = lastRead.isValid() && lastRead.elapsed() < LineStamps::longestHoldMs;
    lastRead.start();
    showReceived(serial->readAll());
#ifdef Q_OS_UNIX
    // The first read after an update starts the wait for the next one; a
    // stamped line's wait is short, and only at a trickle: once the read
    // has caught up with the device.
    if (stamps.isOn() ? dense && display->isWaitingOutPace() && bytesInDriver(*serial) == 0
                      : display->canWaitInDriver(0, charsPerByte))
        holdReads();
#else
    Q_UNUSED(dense)
#endif
}

// The time is taken as the bytes are read, not when the pane gets round to
// showing them, and the log has them at once.
void Tavlino::showReceived(const QByteArray &bytes)
{
    if (ui->actionHex->isChecked()) {
        showHex(bytes);
        return;
    }
    const StyledText text = decoder.decode(bytes);
    spokenReply->received(text.text);
    const StyledText shown =
        stamps.received(text, !bytes.isEmpty(), stamps.isOn() ? stamps.now() : QTime());
    log->received(shown.text, bytes);
    display->append(shown);
}

// Complete lines of sixteen bytes go to the pane and the log as text does;
// the line begun shows below them until its rest has come. A hex line
// always begins a line of its own.
void Tavlino::showHex(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    QString lines = hex.add(bytes);
    if (!stamps.isAtLineStart())
        lines.prepend(u'\n');
    const QTime now = stamps.isOn() ? stamps.now() : QTime();
    // In the pane's own colours, whatever colour the device's text had.
    StyledText hexText{lines, {}};
    if (!lines.isEmpty())
        hexText.changes.append({0, TextStyle()});
    const StyledText shown = stamps.received(hexText, true, now);
    // A line begun in this read has this read's time.
    if (hex.hasPending())
        stamps.received(StyledText(), true, now);
    log->received(shown.text, bytes);
    display->append(shown);
    display->setTail(stamps.stampOfLineBegun(), hex.pendingLine());
}

// The hex line begun is shown as it stands from now on, and what comes
// next begins a line: for the program's own lines, text again, a new
// session.
void Tavlino::endHexLine()
{
    if (!hex.hasPending())
        return;
    const StyledText shown = stamps.received(
        StyledText{hex.pendingLine() + u'\n', {{0, TextStyle()}}}, false, stamps.now());
    hex.endLine();
    log->received(shown.text, QByteArray());
    display->setTail(QString(), QString());
    display->append(shown);
}

// While the pane waits out its pace, a device that talks steadily would
// wake the program for every piece it sends, up to 1,440 times a second at
// 921,600 baud, to queue text that waits anyway. At such a trickle the bytes
// wait in the driver instead, whose buffers hold the 40 ms many times over:
// once Qt's buffer holds what it has read, Qt stops reading until the
// update takes everything. Faster than that, reading goes on as ever.
//
// The driver does not say when the bytes it holds came, so while lines are
// stamped they wait there only briefly: reading every piece as it comes
// woke the program up to 1,440 times a second at 921,600 baud, more than
// doubling what the feed cost, while a wait of a few milliseconds keeps the
// stamps as close as the eye can tell.
void Tavlino::holdReads()
{
    serial->setReadBufferSize(qMax<qint64>(1, serial->bytesAvailable()));
    // Qt turns its read notifier off only when the next bytes arrive and
    // find its buffer full: one more wake-up, for nothing. Setting the
    // buffer's size again turns it back on.
    if (QSocketNotifier *notifier = readNotifierOf(*serial))
        notifier->setEnabled(false);
    if (stamps.isOn())
        stampHold->start();
}

// Everything the device has sent, in order: what Qt holds, then what the
// driver holds.
void Tavlino::takeHeldBytes()
{
    stampHold->stop();
    if (!serial->isOpen() || serial->readBufferSize() == 0)
        return;
    readEverything();
}

// A stamped line has waited as long as it may; while the device goes on
// trickling, the next ones wait as long again. What a trickle cannot have
// sent in the wait is a burst: it is left to Qt's notifier, which reads on
// as ever, instead of being read here until the driver is empty, which a
// device that sends as fast as the port takes never lets it be.
void Tavlino::endStampHold()
{
    if (!serial->isOpen() || serial->readBufferSize() == 0 || isLentNow())
        return;
    lastRead.start();
    takingHeldBytes = true;
    serial->setReadBufferSize(0);
    QByteArray bytes = serial->readAll();
    while (bytes.size() < PacedDisplay::ttyReadBuffer && serial->isOpen() &&
           bytesInDriver(*serial) > 0 && serial->waitForReadyRead(0))
        bytes += serial->readAll();
    takingHeldBytes = false;
    showReceived(bytes);
    if (!bytes.isEmpty() && display->isWaitingOutPace() && bytesInDriver(*serial) == 0)
        holdReads();
}

void Tavlino::readEverything()
{
    takingHeldBytes = true;
    serial->setReadBufferSize(0);
    showReceived(serial->readAll());
    while (serial->isOpen() && bytesInDriver(*serial) > 0 && !isLentNow() &&
           serial->waitForReadyRead(0))
        showReceived(serial->readAll());
    takingHeldBytes = false;
}

// What another program opened is its own from then on: asked before every
// read from the device that Qt's notifier does not make.
bool Tavlino::isLentNow()
{
    return lendWatch && lendWatch->isWanted();
}

void Tavlino::on_btn_send_clicked()
{
    // A closed port accepts nothing: keep the text so the person can send it
    // once the port is open, and claim nothing was sent.
    if (!serial->isOpen())
        return;
    const QString line = ui->input->text();
    const QByteArray bytes =
        (ui->actionEscapes->isChecked() ? unescapedBytes(line) : line.toUtf8()) +
        lineEndBytes(ui->input_einde->currentIndex());
    if (serial->write(bytes) != bytes.size())
        return;
    if (ui->input_echo->checkState() != Qt::Unchecked)
        echo(QStringLiteral("( ") + line + ui->input_einde->currentText() + QStringLiteral(" )"));
    ui->input->addToHistory();
    // Each key sent on its own is the person typing, not a question.
    if (!ui->input_continu->isChecked())
        spokenReply->expectReply();
}

// Ctrl+C, Ctrl+D or Ctrl+] typed while every key is sent: the byte alone,
// without a line end, echoed as a terminal shows it ("^C").
void Tavlino::sendControlByte(char byte)
{
    if (!serial->isOpen())
        return;
    const QByteArray bytes(1, byte);
    if (serial->write(bytes) != bytes.size())
        return;
    if (ui->input_echo->checkState() != Qt::Unchecked)
        echo(QStringLiteral("( ^") + QChar(u'@' + byte) + QStringLiteral(" )"));
}

void Tavlino::input_return_Pressed()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    ui->btn_send->animateClick();
#else
    ui->btn_send->animateClick(100);
#endif
}

void Tavlino::input_key_Pressed(const QString &)
{
    on_btn_send_clicked();
}

void Tavlino::on_btn_clear_clicked()
{
    display->clear();
    stamps.cleared();
    // A hex line begun is still to be completed by its rest.
    display->setTail(stamps.stampOfLineBegun(), hex.pendingLine());
}

void Tavlino::on_actionAbout_triggered()
{
    about->show();
}

void Tavlino::on_input_continu_stateChanged(int arg1)
{
    if (arg1 != 0) {
        ui->btn_send->setEnabled(false);
        connect(ui->input, SIGNAL(textEdited(QString)), this, SLOT(input_key_Pressed(QString)),
                Qt::UniqueConnection);
        ui->input->setSendsControlKeys(true);
    } else {
        ui->input->setSendsControlKeys(false);
        ui->btn_send->setEnabled(serial->isOpen());
        disconnect(ui->input, SIGNAL(textEdited(QString)), this, SLOT(input_key_Pressed(QString)));
    }
}

// A USB adapter pulled out, or a pty whose other end hung up, reports a read
// or resource error on Qt 5.15 and 6.4, and keeps reporting it for as long
// as the port stays open; on Qt 6.8 only the hang-up watch hears of it.
// Close it so the person can plug the device back and press Open.
void Tavlino::serial_error_Occurred(QSerialPort::SerialPortError error)
{
    if (meansDeviceLost(error) && !changingLine)
        closeLostPort();
}

void Tavlino::closeLostPort()
{
    if (!serial->isOpen())
        return;
    showReceived(serial->readAll());
    display->showAll();
    closeSerial();
    endWaits();
    waitForReturn();
    showSessionState();
}

// A board with native USB leaves the system whenever it resets or is
// flashed, and prints why it reset as soon as it is back: it is reopened at
// once, so the pane shows its boot log from the first line.
void Tavlino::waitForReturn()
{
    if (!canWaitFor(openedName))
        return;
    returnWatch = new ReturnWatch(openedName, openedDevice, this);
    connect(returnWatch, &ReturnWatch::mayBeBack, this, &Tavlino::reopenReturnedDevice);
}

// A node that udev has not yet given its permissions will not open; the
// watch hears when it does.
void Tavlino::reopenReturnedDevice()
{
    if (!serial->isOpen() && returnWatch)
        openPort(openedName, openedRate);
}

// Another program has opened the device: a flasher, another terminal. It
// gets the device as if this window were not there: nothing more is read,
// and its line settings stay its own.
void Tavlino::lendPort()
{
    // What Qt read before that program opened the device is shown.
    showReceived(serial->readAll());
    display->showAll();
    closeSerial(LeaveLine);
    lent = true;
    showSessionState();
    tellOfPort(tr("%1 lent to another program").arg(openedName));
}

// The other program has closed the device: the board's first words after
// it (a new firmware's boot log) are read at once, and nothing the driver
// holds is dropped.
void Tavlino::takeBackPort()
{
    if (!openSerial(openedName, openedRate)) {
        // Flashing made the device leave the system; it may come back.
        endWaits();
        waitForReturn();
        showSessionState();
        tellOfPort(tr("%1 not back after another program closed it").arg(openedName));
        return;
    }
    lent = false;
    lendWatch->takenBack();
    showSessionState();
    tellOfPort(tr("%1 back").arg(openedName));
}

// In the pane, as the echo is, and to a screen reader.
void Tavlino::tellOfPort(const QString &news)
{
    notice(QStringLiteral("--- ") + news + QStringLiteral(" ---"));
    announcer->say(news);
}

// Below whatever the device sent before it, in the pane's own colours, and
// in the log.
void Tavlino::echo(const QString &line)
{
    endHexLine();
    // What the device sent before is shown, and stamped, first.
    display->showAll();
    const QString stamp = stamps.ownLine(OwnLine::Echo, stamps.now());
    display->appendLine(line, stamp);
    log->ownLine(OwnLine::Echo, stamp + line);
}

void Tavlino::notice(const QString &line)
{
    endHexLine();
    display->showAll();
    const QString stamp = stamps.ownLine(OwnLine::Notice, stamps.now());
    display->appendNotice(line, stamp);
    log->ownLine(OwnLine::Notice, stamp + line);
}

// The person picked a frame or flow control in the Port menu: an open port
// gets it at once, a closed one at its next Open.
void Tavlino::chooseFrame()
{
    LineSettings wanted = lineMenu->chosen();
    wanted.dtr = lines.dtr;
    wanted.rts = lines.rts;
    if (serial->isOpen()) {
        const bool rtsWasFree = lines.rtsIsFree();
        QStringList refused;
        changeLine([&] {
            refused = changeFrame(*serial, wanted);
            lines = frameOf(*serial, wanted);
            // Given back by the flow control, RTS is as the person wants it.
            if (!rtsWasFree && lines.rtsIsFree())
                serial->setRequestToSend(lines.rts);
        });
        tellRefused(openedName, refused);
    } else {
        lines = wanted;
    }
    lineMenu->show(lines);
    showLineSettings();
}

void Tavlino::on_actionDtr_triggered(bool checked)
{
    switchModemLine(&LineSettings::dtr, checked);
}

void Tavlino::on_actionRts_triggered(bool checked)
{
    switchModemLine(&LineSettings::rts, checked);
}

// An ESP32's reset and boot pins, an Arduino's reset, a modem's hang-up:
// switched on an open port at once, and set so at every Open.
void Tavlino::switchModemLine(bool LineSettings::*line, bool on)
{
    const bool isDtr = line == &LineSettings::dtr;
    bool taken = true;
    if (serial->isOpen()) {
        changeLine([&] {
            taken = isDtr ? serial->setDataTerminalReady(on) : serial->setRequestToSend(on);
        });
    }
    if (taken) {
        lines.*line = on;
    } else {
        const QString wire = isDtr ? QStringLiteral("DTR") : QStringLiteral("RTS");
        tellOfPort((on ? tr("%1 refused to raise %2") : tr("%1 refused to lower %2"))
                       .arg(openedName, wire));
    }
    lineMenu->show(lines);
    showLineSettings();
}

void Tavlino::on_actionBreak_triggered()
{
    if (!serial->isOpen() || breakTimer->isActive())
        return;
    bool taken = false;
    changeLine([&] { taken = serial->setBreakEnabled(true); });
    if (!taken) {
        tellOfPort(tr("%1 refused a break").arg(openedName));
        return;
    }
    breakTimer->start();
    showSessionState();
}

void Tavlino::endBreak()
{
    if (serial->isOpen() && serial->isBreakEnabled())
        changeLine([this] { serial->setBreakEnabled(false); });
    showSessionState();
}

// What the driver reports while a line setting changes is about the
// setting: a tty that refuses 7 data bits, a pty without modem lines, a
// Windows driver that calls a refused DCB an unknown error. The device has
// not gone.
template <typename Change> void Tavlino::changeLine(Change change)
{
    const bool wasChanging = changingLine;
    changingLine = true;
    change();
    changingLine = wasChanging;
    serial->clearError();
}

void Tavlino::tellRefused(const QString &name, const QStringList &refused)
{
    for (const QString &part : refused)
        tellOfPort(tr("%1 refused %2").arg(name, part));
}

// "115200 8N1", the rate the port has while open and the one Open would
// use while closed.
void Tavlino::showLineSettings()
{
    const qint32 rate =
        serial && serial->isOpen() ? serial->baudRate() : rateFor(ui->input_baud->currentText());
    QStringList parts;
    if (rate > 0)
        parts << QString::number(rate);
    parts << lines.frameText();
    if (!lines.dtr)
        parts << tr("DTR off");
    if (!lines.rts)
        parts << tr("RTS off");
    lineLabel->setText(parts.join(QLatin1Char(' ')));
}

// The pane's whole text, as a copy of all of it gives it, in a file the
// person picks. Written to a temporary file beside it and renamed, so a
// full disk never leaves half a file under the name.
void Tavlino::on_actionSaveOutput_triggered()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save Output As"), proposedFile(QStringLiteral(".txt")),
        tr("Text files (*.txt *.log);;All files (*)"));
    if (path.isEmpty())
        return;
    settings->setValue(QStringLiteral("lastFolder"), QFileInfo(path).absolutePath());
    display->showAll();
    QSaveFile file(path);
    const QByteArray text = PaneReading::allText(*ui->output).toUtf8();
    // Unbuffered: a write the system cuts short (a full disk, a file-size
    // limit) then shows in write()'s count. Through QFileDevice's buffer,
    // Qt 5.15 and 6 drop the rest and commit() renames the short file as if
    // all were well.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !SessionLog::writeWhole(file, text) || !file.commit()) {
        tellOfPort(tr("Output not saved to %1: %2").arg(path, file.errorString()));
        return;
    }
    const QString news = tr("Output saved to %1").arg(path);
    ui->statusBar->showMessage(news, 5000);
    announcer->say(news);
}

void Tavlino::on_actionLog_triggered(bool checked)
{
    if (checked)
        startLog();
    else
        stopLog();
}

// Asks for the file, proposing a new one; a file that is there already is
// appended to, which the dialog says instead of asking to replace it.
void Tavlino::startLog()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Log to File (an existing file is appended to)"),
        proposedFile(QStringLiteral(".log")), tr("Log files (*.log *.txt);;All files (*)"), nullptr,
        QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) {
        ui->actionLog->setChecked(false);
        return;
    }
    settings->setValue(QStringLiteral("lastFolder"), QFileInfo(path).absolutePath());
    // What the pane already holds is in it; the log starts from here.
    display->showAll();
    const SessionLog::Content content =
        ui->actionLogRaw->isChecked() ? SessionLog::RawBytes : SessionLog::ShownText;
    QString reason;
    if (!log->start(path, content, &reason))
        tellOfPort(tr("Log to %1 not started: %2").arg(path, reason));
    else
        announcer->say(tr("Logging to %1").arg(path));
    showLogState();
}

void Tavlino::stopLog()
{
    if (!log->isOn())
        return;
    display->showAll();
    log->stop();
    const QString news = tr("Log to %1 closed").arg(log->path());
    ui->statusBar->showMessage(news, 5000);
    announcer->say(news);
    showLogState();
}

// The log has stopped already; the person hears why, and the session goes
// on.
void Tavlino::logFailed(const QString &reason)
{
    showLogState();
    tellOfPort(tr("Log to %1 stopped: %2").arg(log->path(), reason));
}

void Tavlino::showLogState()
{
    const bool on = log->isOn();
    ui->actionLog->setChecked(on);
    ui->actionLogRaw->setEnabled(!on);
    logLabel->setVisible(on);
    if (on) {
        logLabel->setText(tr("Log: %1").arg(QFileInfo(log->path()).fileName()));
        logLabel->setToolTip(QDir::toNativeSeparators(log->path()));
    }
}

void Tavlino::on_actionTimestamps_triggered(bool checked)
{
    stamps.setOn(checked);
}

// Text and hex each from the moment they are chosen; text starts afresh,
// in the device's default colours.
void Tavlino::on_actionHex_triggered(bool checked)
{
    if (checked)
        return;
    endHexLine();
    decoder.reset();
}

void Tavlino::on_actionZoomIn_triggered()
{
    zoom->zoomIn();
}

void Tavlino::on_actionZoomOut_triggered()
{
    zoom->zoomOut();
}

void Tavlino::on_actionZoomReset_triggered()
{
    zoom->reset();
}

void Tavlino::showZoom()
{
    ui->actionZoomIn->setEnabled(zoom->canZoomIn());
    ui->actionZoomOut->setEnabled(zoom->canZoomOut());
}

void Tavlino::on_actionQuit_triggered()
{
    close();
}

// The port's name and the time, in the folder last used, Documents the
// first time: ttyUSB0-2026-12-09-031502.txt.
QString Tavlino::proposedFile(const QString &suffix) const
{
    QString folder = settings->value(QStringLiteral("lastFolder")).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString port =
        QFileInfo(openedName.isEmpty() ? ui->input_com->currentText() : openedName).fileName();
    if (port.isEmpty())
        port = QStringLiteral("tavlino");
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    return QDir(folder).filePath(port + QLatin1Char('-') + time + suffix);
}

namespace {

// A hand-edited or damaged store may hold anything; what is not a valid
// entry of the list counts as missing, so the box never ends up without a
// current entry (and never writes a -1 back at the next close).
int storedIndex(const QSettings &settings, const QString &key, int count)
{
    bool isNumber = false;
    // Wide enough that a 64-bit registry value cannot wrap into the range.
    const qlonglong index = settings.value(key).toLongLong(&isNumber);
    return isNumber && index >= 0 && index < count ? int(index) : 0;
}

} // namespace

void Tavlino::loadSettings()
{
    ui->input_baud->setCurrentIndex(
        storedIndex(*settings, QStringLiteral("baudRate"), ui->input_baud->count()));
    ui->input_echo->setChecked(storedSwitch(*settings, QStringLiteral("localEcho"), false));
    ui->input_einde->setCurrentIndex(
        storedIndex(*settings, QStringLiteral("lineEnd"), ui->input_einde->count()));
    lines = LineSettings::stored(*settings);
    lineMenu->show(lines);
    ui->actionTimestamps->setChecked(storedSwitch(*settings, QStringLiteral("timestamps"), false));
    stamps.setOn(ui->actionTimestamps->isChecked());
    ui->actionLogRaw->setChecked(storedSwitch(*settings, QStringLiteral("logRaw"), false));
    ui->actionEscapes->setChecked(storedSwitch(*settings, QStringLiteral("sendEscapes"), false));
    ui->actionHex->setChecked(storedSwitch(*settings, QStringLiteral("hex"), false));
    bool isNumber = false;
    const int percent = settings->value(QStringLiteral("zoom")).toInt(&isNumber);
    zoom->setPercent(isNumber ? percent : PaneZoom::normal);
    showZoom();
}

void Tavlino::saveSettings()
{
    settings->setValue(QStringLiteral("baudRate"), ui->input_baud->currentIndex());
    settings->setValue(QStringLiteral("localEcho"), ui->input_echo->isChecked());
    settings->setValue(QStringLiteral("lineEnd"), ui->input_einde->currentIndex());
    lines.store(*settings);
    settings->setValue(QStringLiteral("timestamps"), ui->actionTimestamps->isChecked());
    settings->setValue(QStringLiteral("logRaw"), ui->actionLogRaw->isChecked());
    settings->setValue(QStringLiteral("sendEscapes"), ui->actionEscapes->isChecked());
    settings->setValue(QStringLiteral("hex"), ui->actionHex->isChecked());
    settings->setValue(QStringLiteral("zoom"), zoom->percent());
    // The store is otherwise written only when the event loop gets round to
    // it, which a quitting program may never do.
    settings->sync();
}

void Tavlino::closeEvent(QCloseEvent *event)
{
    saveSettings();
    // Everything read up to now is in the log before it closes.
    if (serial->isOpen())
        readEverything();
    endHexLine();
    display->showAll();
    log->stop();
    event->accept();
}

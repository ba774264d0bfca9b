// The Windows side of the test device: a pty behind a COM port under Wine.
#include "testsupport.h"

#include <QDir>
#include <QHostAddress>
#include <QList>
#include <QProcess>

#include <windows.h>
#include <winternl.h>

#include <cstring>

namespace {

QString windowsPath(const QString &unixPath)
{
    // Wine's drive Z: is the Unix root.
    return QStringLiteral("Z:") + QDir::toNativeSeparators(unixPath);
}

} // namespace

PtyDevice::PtyDevice()
{
    // A fresh COM number each time, so a device that is going away never
    // meets its successor under the same name.
    static int next = 10;
    const QString com = QStringLiteral("COM%1").arg(next++);
    if (!server.listen(QHostAddress::LocalHost))
        return;
    // Wine starts a Unix program found through Z:, and hands it its
    // arguments as they are.
    // arguments as they are. It ends by itself when the connection closes;
    // Wine gives no handle that would tell when.
    QProcess::startDetached(
        windowsPath(QStringLiteral("/usr/bin/python3")),
        {QStringLiteral(TAVLINO_PTY_BRIDGE), QString::number(server.serverPort()), com});
    if (!server.waitForNewConnection(10000))
        return;
    master.reset(server.nextPendingConnection());
    // The bridge says the slave's path once the COM link is in place.
    while (!master->canReadLine() && master->waitForReadyRead(10000)) {
    }
    if (master->readLine().startsWith("/dev/"))
        path = com;
}

PtyDevice::~PtyDevice()
{
    hangUp();
}

bool PtyDevice::isValid() const
{
    return master && !path.isEmpty();
}

void PtyDevice::send(const QByteArray &bytes)
{
    master->write(bytes);
    while (master->bytesToWrite() > 0 && master->waitForBytesWritten(5000)) {
    }
    // Gives the bridge and Wine's serial layer time to pass them on.
    QTest::qWait(20);
}

QByteArray PtyDevice::received()
{
    if (master) {
        master->waitForReadyRead(0);
        got += master->readAll();
    }
    return got;
}

void PtyDevice::hangUp()
{
    if (master)
        master->close();
}

namespace {

using DeviceIoControl = NTSTATUS(NTAPI *)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK,
                                          ULONG, PVOID, ULONG, PVOID, ULONG);
using GetProc = FARPROC(WINAPI *)(HMODULE, LPCSTR);
using CancelIoFunction = BOOL(WINAPI *)(HANDLE, LPOVERLAPPED);
constexpr ULONG waitOnMask = 0x1B0048;     // IOCTL_SERIAL_WAIT_ON_MASK
constexpr NTSTATUS pending = 0x103;        // STATUS_PENDING
constexpr NTSTATUS cancelled = 0xC0000120; // STATUS_CANCELLED

DeviceIoControl realDeviceIoControl = nullptr;
GetProc realGetProcAddress = nullptr;
CancelIoFunction realCancelIoEx = nullptr;

// Wine's wait runs in a thread of its own that neither a cancel nor closing
// the port stops at once; it writes its result when it ends, by then maybe
// into memory Qt has freed. So Wine gets buffers of ours, and the result is
// copied to Qt's on Qt's thread, unless Qt has cancelled the wait.
struct Wait {
    PIO_APC_ROUTINE routine;
    PVOID context;
    PIO_STATUS_BLOCK qtStatus;
    DWORD *qtEvents;
    IO_STATUS_BLOCK status;
    DWORD events;
    bool cancelled;
    HANDLE event;
    HANDLE thread;
    HANDLE registration;
};
QList<Wait *> waits;

// Runs on the thread that started the wait, in its next alertable wait, as
// the routine would have run on Windows.
VOID CALLBACK complete(ULONG_PTR argument)
{
    auto *wait = reinterpret_cast<Wait *>(argument);
    waits.removeOne(wait);
    // Here, not in signalled(): that may run before the registration is
    // even stored.
    UnregisterWaitEx(wait->registration, nullptr);
    if (wait->cancelled) {
        wait->qtStatus->Status = cancelled;
        wait->qtStatus->Information = 0;
    } else {
        *wait->qtEvents = wait->events;
        *wait->qtStatus = wait->status;
    }
    wait->routine(wait->context, wait->qtStatus, 0);
    CloseHandle(wait->event);
    CloseHandle(wait->thread);
    delete wait;
}

VOID CALLBACK signalled(PVOID argument, BOOLEAN)
{
    QueueUserAPC(complete, static_cast<Wait *>(argument)->thread, ULONG_PTR(argument));
}

NTSTATUS NTAPI deviceIoControl(HANDLE file, HANDLE event, PIO_APC_ROUTINE routine, PVOID context,
                               PIO_STATUS_BLOCK status, ULONG code, PVOID in, ULONG inSize,
                               PVOID out, ULONG outSize)
{
    if (code != waitOnMask || !routine || event || outSize != sizeof(DWORD))
        return realDeviceIoControl(file, event, routine, context, status, code, in, inSize, out,
                                   outSize);
    auto *wait = new Wait{routine, context, status, static_cast<DWORD *>(out),
                          {},      0,       false,  CreateEventW(nullptr, TRUE, FALSE, nullptr),
                          nullptr, nullptr};
    wait->status.Status = pending;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &wait->thread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    const NTSTATUS result = realDeviceIoControl(file, wait->event, nullptr, nullptr, &wait->status,
                                                code, in, inSize, &wait->events, outSize);
    if (result < 0) {
        CloseHandle(wait->event);
        CloseHandle(wait->thread);
        delete wait;
        return result;
    }
    if (result != pending)
        SetEvent(wait->event);
    waits.append(wait);
    RegisterWaitForSingleObject(&wait->registration, wait->event, signalled, wait, INFINITE,
                                WT_EXECUTEONLYONCE);
    return result;
}

BOOL WINAPI cancelIoEx(HANDLE file, LPOVERLAPPED overlapped)
{
    for (Wait *wait : qAsConst(waits)) {
        if (!overlapped ||
            wait->qtStatus == reinterpret_cast<PIO_STATUS_BLOCK>(&overlapped->Internal))
            wait->cancelled = true;
    }
    return realCancelIoEx(file, overlapped);
}

// Qt's serial module finds NtDeviceIoControlFile through QLibrary, that is
// through Qt Core's GetProcAddress.
FARPROC WINAPI getProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC found = realGetProcAddress(module, name);
    if (found && HIWORD(reinterpret_cast<ULONG_PTR>(name)) &&
        std::strcmp(name, "NtDeviceIoControlFile") == 0) {
        // Through void (*)(), the one function type GCC lets any other pass.
        realDeviceIoControl =
            reinterpret_cast<DeviceIoControl>(reinterpret_cast<void (*)()>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&deviceIoControl));
    }
    return found;
}

bool replaceImport(HMODULE module, const char *name, ULONG_PTR replacement, ULONG_PTR *original)
{
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(
        base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const auto &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto *library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         library->Name; ++library) {
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + library->OriginalFirstThunk);
        auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + library->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char *>(byName->Name), name) != 0)
                continue;
            DWORD protection = 0;
            VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), PAGE_READWRITE, &protection);
            *original = slot->u1.Function;
            slot->u1.Function = replacement;
            VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), protection, &protection);
            return true;
        }
    }
    return false;
}

} // namespace

bool isUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void bridgeWineSerialCompletions()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    HMODULE core = GetModuleHandleW(L"Qt5Core.dll");
    HMODULE serialPort = GetModuleHandleW(L"Qt5SerialPort.dll");
    if (realGetProcAddress || !ntdll || !core || !serialPort ||
        !GetProcAddress(ntdll, "wine_get_version"))
        return;
    ULONG_PTR original = 0;
    if (replaceImport(core, "GetProcAddress", reinterpret_cast<ULONG_PTR>(&getProcAddress),
                      &original))
        realGetProcAddress = reinterpret_cast<GetProc>(original);
    if (replaceImport(serialPort, "CancelIoEx", reinterpret_cast<ULONG_PTR>(&cancelIoEx),
                      &original))
        realCancelIoEx = reinterpret_cast<CancelIoFunction>(original);
}

int ttyRate(PortHandle handle)
{
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle, &settings))
        return -1;
    return int(settings.BaudRate);
}

QString ttyFrame(PortHandle handle)
{
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle, &settings))
        return QString();
    static const char *const parities[] = {"N", "O", "E", "M", "S"};
    static const char *const stopBits[] = {"1", "1.5", "2"};
    if (settings.Parity > 4 || settings.StopBits > 2)
        return QStringLiteral("unknown");
    QString frame = QString::number(settings.ByteSize) + QLatin1String(parities[settings.Parity]) +
                    QLatin1String(stopBits[settings.StopBits]);
    // Wine reads CRTSCTS back as CTS handshake with RTS merely enabled; a
    // Windows driver gives RTS handshake too.
    if (settings.fOutxCtsFlow)
        frame += QStringLiteral(" RTS/CTS");
    if (settings.fOutX && settings.fInX)
        frame += QStringLiteral(" XON/XOFF");
    return frame;
}

QString ttyLines(PortHandle handle)
{
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle, &settings))
        return QStringLiteral("unreadable");
    QStringList up;
    if (settings.fDtrControl == DTR_CONTROL_ENABLE)
        up << QStringLiteral("DTR");
    if (settings.fRtsControl == RTS_CONTROL_ENABLE)
        up << QStringLiteral("RTS");
    return up.join(QLatin1Char(' '));
}

#include "platform/win32/Win32Serial.h"

#include <algorithm>
#include <climits>

#include "formats/ComName.h"
#include "platform/win32/RegistrySettings.h"

namespace torvane::win32 {

namespace {

// Errors after which nothing more comes from the port: the adapter was
// unplugged, or its driver dropped the device under the open handle. Each
// driver says it in its own way.
constexpr DWORD GoneErrors[] = {
    ERROR_ACCESS_DENIED,         // a USB adapter pulled while open
    ERROR_BAD_COMMAND,           // its driver no longer knows the device
    ERROR_DEVICE_NOT_CONNECTED,  //
    ERROR_DEVICE_REMOVED,        //
    ERROR_NO_SUCH_DEVICE,        //
    ERROR_INVALID_HANDLE,        // the handle's device object is gone
    ERROR_GEN_FAILURE,           //
    ERROR_FILE_NOT_FOUND,        //
    ERROR_BROKEN_PIPE,           // the far end of an emulated line closed
    ERROR_HANDLE_EOF,            //
};

// A read that waits longer than this for bytes the driver said it holds is
// cancelled: one step of a run's waits.
constexpr DWORD FollowUpReadLimitMs = 5;

// Errors of EscapeCommFunction on a port without modem lines.
constexpr DWORD NoModemLineErrors[] = {ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION, ERROR_INVALID_PARAMETER};

constexpr DWORD PurgeAll = PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR;

bool In(DWORD error, std::span<const DWORD> list) { return std::find(list.begin(), list.end(), error) != list.end(); }

BYTE ParityCode(Parity p) {
    switch (p) {
    case Parity::Odd: return ODDPARITY;
    case Parity::Even: return EVENPARITY;
    case Parity::Mark: return MARKPARITY;
    case Parity::Space: return SPACEPARITY;
    case Parity::None: break;
    }
    return NOPARITY;
}

BYTE StopBitsCode(StopBits s) {
    switch (s) {
    case StopBits::OneAndHalf: return ONE5STOPBITS;
    case StopBits::Two: return TWOSTOPBITS;
    case StopBits::One: break;
    }
    return ONESTOPBIT;
}

}  // namespace

std::wstring DevicePathOf(int portIndex) { return L"\\\\.\\COM" + std::to_wstring(portIndex + 1); }

bool DeviceGoneAfter(DWORD error, bool cancelledHere) {
    // A read cancelled by nobody here was cancelled by the driver as it let
    // go of the device.
    if (error == ERROR_OPERATION_ABORTED) return !cancelledHere;
    return In(error, GoneErrors);
}

std::string OpenFailureReason(const std::string& comName, DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "no such port " + comName;
    // A COM port is opened by one program at a time; Windows refuses the
    // second with one of these.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return comName + " is in use by another program";
    default: return comName + ": " + ErrorText(error);
    }
}

std::string ErrorText(DWORD error) {
    // The wide call: the narrow one speaks the ANSI code page, not UTF-8.
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = n != 0 && text != nullptr ? Narrow(std::wstring_view(text, n)) : "error " + std::to_string(error);
    if (text != nullptr) ::LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s;
}

Win32SerialDevice::Win32SerialDevice(HANDLE port)
    : port_(port),
      readEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      ioEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Win32SerialDevice::~Win32SerialDevice() {
    close();
    if (readEvent_ != nullptr) ::CloseHandle(readEvent_);
    if (ioEvent_ != nullptr) ::CloseHandle(ioEvent_);
}

void Win32SerialDevice::noteError(DWORD error, bool cancelledHere) {
    gone_ = gone_ || DeviceGoneAfter(error, cancelledHere);
}

bool Win32SerialDevice::drain() {
    if (port_ == INVALID_HANDLE_VALUE) return false;
    if (::FlushFileBuffers(port_)) return true;
    noteError(::GetLastError());
    return false;
}

bool Win32SerialDevice::configure(const LineConfig& c) {
    if (port_ == INVALID_HANDLE_VALUE || c.baudRate == 0 || c.dataBits < 5 || c.dataBits > 8) return false;
    if ((c.inputQueueBytes != 0 || c.outputQueueBytes != 0) &&
        !::SetupComm(port_, c.inputQueueBytes, c.outputQueueBytes))
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port_, &dcb)) return false;
    // Every field the line depends on is set; the rest (XonLim, XoffLim,
    // XonChar, XoffChar, ErrorChar, EofChar, EvtChar) keeps the driver's value.
    dcb.BaudRate = c.baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = c.parity != Parity::None;
    dcb.fOutxCtsFlow = c.flow == FlowControl::RtsCts;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = c.flow == FlowControl::XonXoff;
    dcb.fInX = c.flow == FlowControl::XonXoff;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = c.flow == FlowControl::RtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = c.dataBits;
    dcb.Parity = ParityCode(c.parity);
    dcb.StopBits = StopBitsCode(c.stopBits);
    return ::SetCommState(port_, &dcb) != 0;
}

bool Win32SerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
    if (port_ == INVALID_HANDLE_VALUE) return false;
    // The read time-outs belong to the pending read; it is restarted under the new ones.
    cancelRead();
    COMMTIMEOUTS t{};
    if (!::GetCommTimeouts(port_, &t)) return false;
    t.ReadIntervalTimeout = PendingReadIntervalMs;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = PendingReadTotalMs;
    t.WriteTotalTimeoutMultiplier = timeouts.writePerByteMs;
    t.WriteTotalTimeoutConstant = timeouts.writeConstantMs;
    return ::SetCommTimeouts(port_, &t) != 0;
}

LineResult Win32SerialDevice::setControlLine(ControlLine line, bool on) {
    if (port_ == INVALID_HANDLE_VALUE) return LineResult::Failed;
    const DWORD function = line == ControlLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    if (::EscapeCommFunction(port_, function)) return LineResult::Done;
    const DWORD error = ::GetLastError();
    if (In(error, NoModemLineErrors)) return LineResult::NotSupported;
    noteError(error);
    return LineResult::Failed;
}

bool Win32SerialDevice::write(std::span<const std::uint8_t> bytes) {
    if (port_ == INVALID_HANDLE_VALUE) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED ov{};
        ov.hEvent = ioEvent_;
        ::ResetEvent(ioEvent_);
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, MAXDWORD));
        DWORD wrote = 0;
        if (!::WriteFile(port_, bytes.data() + done, ask, &wrote, &ov)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING || !::GetOverlappedResult(port_, &ov, &wrote, TRUE)) {
                noteError(error == ERROR_IO_PENDING ? ::GetLastError() : error);
                return false;
            }
        } else {
            ::GetOverlappedResult(port_, &ov, &wrote, TRUE);
        }
        // Fewer bytes than asked: the write time-out ended it, which counts as done.
        if (wrote < ask) return true;
        done += wrote;
    }
    return true;
}

bool Win32SerialDevice::armRead() {
    if (pending_ != Pending::None) return true;
    pendingRead_ = OVERLAPPED{};
    pendingRead_.hEvent = readEvent_;
    ::ResetEvent(readEvent_);
    DWORD got = 0;
    if (::ReadFile(port_, &pendingByte_, 1, &got, &pendingRead_)) {
        if (got == 1) {
            pending_ = Pending::Held;
            return true;
        }
        // A read without time-outs that ends empty: the line has hung up.
        gone_ = true;
        return false;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
        pending_ = Pending::Waiting;
        return true;
    }
    noteError(error);
    return false;
}

void Win32SerialDevice::collect(bool wait) {
    if (pending_ != Pending::Waiting) return;
    DWORD got = 0;
    if (::GetOverlappedResult(port_, &pendingRead_, &got, wait ? TRUE : FALSE)) {
        if (got == 1) {
            pending_ = Pending::Held;
        } else {
            pending_ = Pending::None;
            gone_ = true;
        }
        return;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return;
    pending_ = Pending::None;
    noteError(error, cancelling_);
}

void Win32SerialDevice::cancelRead() {
    if (pending_ != Pending::Waiting) return;
    cancelling_ = true;
    ::CancelIoEx(port_, &pendingRead_);
    // A byte that arrived before the cancel is kept, not lost.
    collect(true);
    cancelling_ = false;
}

long Win32SerialDevice::read(std::span<std::uint8_t> into) {
    if (port_ == INVALID_HANDLE_VALUE) return -1;
    if (into.empty()) return 0;
    collect(false);
    if (pending_ == Pending::None && (gone_ || !armRead())) return gone_ ? -1 : 0;
    if (pending_ != Pending::Held) return 0;
    into[0] = pendingByte_;
    pending_ = Pending::None;
    std::size_t n = 1;

    // The rest of what the driver holds, which a read of exactly that many
    // bytes takes without waiting on a driver that counts right.
    COMSTAT status{};
    DWORD errors = 0;
    if (::ClearCommError(port_, &errors, &status) && status.cbInQue > 0 && into.size() > 1) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, into.size() - 1));
        n += followUpRead(into.subspan(1, ask));
    }
    armRead();
    return static_cast<long>(n);
}

std::size_t Win32SerialDevice::followUpRead(std::span<std::uint8_t> into) {
    OVERLAPPED ov{};
    ov.hEvent = ioEvent_;
    ::ResetEvent(ioEvent_);
    DWORD got = 0;
    if (::ReadFile(port_, into.data(), static_cast<DWORD>(into.size()), &got, &ov)) return got;
    DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        noteError(error);
        return 0;
    }
    // A driver that reported more than it holds would keep this read open
    // until more came, past Stop and Ctrl-C: it is cancelled after one step.
    bool cancelled = false;
    if (::WaitForSingleObject(ioEvent_, FollowUpReadLimitMs) != WAIT_OBJECT_0) {
        ::CancelIoEx(port_, &ov);
        cancelled = true;
    }
    // A cancelled read still hands over the bytes it had taken.
    if (::GetOverlappedResult(port_, &ov, &got, TRUE)) return got;
    error = ::GetLastError();
    noteError(error, cancelled);
    return error == ERROR_OPERATION_ABORTED ? got : 0;
}

bool Win32SerialDevice::waitReadable(std::chrono::milliseconds limit) {
    if (port_ == INVALID_HANDLE_VALUE || gone_) return false;
    collect(false);
    if (pending_ == Pending::None && !armRead()) return false;
    if (pending_ == Pending::Held) return true;
    const DWORD ms = static_cast<DWORD>(std::clamp<long long>(limit.count(), 0, INFINITE - 1));
    if (::WaitForSingleObject(readEvent_, ms) != WAIT_OBJECT_0) return false;
    collect(false);
    return pending_ == Pending::Held;
}

void Win32SerialDevice::close() {
    if (port_ == INVALID_HANDLE_VALUE) return;
    if (pending_ == Pending::Waiting) {
        ::CancelIoEx(port_, &pendingRead_);
        DWORD got = 0;
        ::GetOverlappedResult(port_, &pendingRead_, &got, TRUE);
    }
    pending_ = Pending::None;
    ::CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
}

OpenResult Win32SerialPorts::open(int portIndex) {
    const std::string com = ComName(portIndex);
    if (portIndex < 0 || portIndex > MaxPortIndex) return {nullptr, "no such port " + com};
    // Share mode 0: the port is ours alone until we close it.
    HANDLE h = ::CreateFileW(DevicePathOf(portIndex).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {nullptr, OpenFailureReason(com, ::GetLastError())};
    // Whatever waited in the driver from before belongs to nobody now.
    ::PurgeComm(h, PurgeAll);
    auto device = std::make_unique<Win32SerialDevice>(h);
    return {std::move(device), {}};
}

}  // namespace torvane::win32

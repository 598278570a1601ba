#pragma once
// Serial ports on Windows: \\.\COM<n> opened exclusively for overlapped I/O.
//
// Waiting for input keeps one 1-byte overlapped read pending and waits on its
// event: that wakes at the first byte on every driver we met, where
// WaitCommEvent(EV_RXCHAR) and "return at the first byte" read time-outs do
// not behave alike everywhere. The byte the pending read brings is the first
// byte of what the port received; read() hands it over before the rest.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "platform/SerialDevice.h"

// Windows' "a device which does not exist was specified", which MinGW-w64's
// winerror.h lacks.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

namespace torvane::win32 {

// Driver read time-outs of the pending read: all zero means "wait until the
// byte comes", which the event then reports.
inline constexpr DWORD PendingReadIntervalMs = 0;
inline constexpr DWORD PendingReadTotalMs = 0;

class Win32SerialDevice final : public SerialDevice {
public:
    // Takes ownership of a handle opened with FILE_FLAG_OVERLAPPED.
    explicit Win32SerialDevice(HANDLE port);
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    // FlushFileBuffers: returns once the driver has sent what it held.
    bool drain() override;
    // SetupComm with the asked queues, then the DCB with the frame, binary,
    // no flow control unless asked, DTR and RTS left to setControlLine.
    bool configure(const LineConfig& config) override;
    bool setTimeouts(const SerialTimeouts& timeouts) override;
    // EscapeCommFunction; a driver without modem lines answers NotSupported.
    LineResult setControlLine(ControlLine line, bool on) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    long read(std::span<std::uint8_t> into) override;
    bool waitReadable(std::chrono::milliseconds limit) override;
    bool gone() const override { return gone_; }
    // A COM port carries its bytes at the baud rate.
    bool paced() const override { return true; }
    void close() override;

private:
    enum class Pending { None, Waiting, Held };
    // Starts the 1-byte read unless one is waiting or its byte is held.
    bool armRead();
    // Learns whether the pending read brought its byte, without waiting.
    void collect(bool wait);
    void cancelRead();
    // Reads what the driver said it holds, waiting no longer than one step.
    std::size_t followUpRead(std::span<std::uint8_t> into);
    // `cancelledHere`: the failed call was a read this object cancelled.
    void noteError(DWORD error, bool cancelledHere = false);

    HANDLE port_;
    HANDLE readEvent_;
    HANDLE ioEvent_;  // writes and the reads that follow the first byte
    OVERLAPPED pendingRead_{};
    std::uint8_t pendingByte_ = 0;
    Pending pending_ = Pending::None;
    bool cancelling_ = false;  // cancelRead() is cancelling the pending read
    bool gone_ = false;
};

// "\\.\COM<index+1>": the name that reaches every COM port, COM10 and up too.
std::wstring DevicePathOf(int portIndex);

// A Windows error as its system text in UTF-8, without the trailing line break.
std::string ErrorText(DWORD error);

// True when a failed read, write or control call with `error` means the
// device has gone (unplugged, dropped by its driver): nothing more will come
// from it. `cancelledHere`: the call was a read this program cancelled
// itself, which says nothing of the device; a read the driver cancelled does.
bool DeviceGoneAfter(DWORD error, bool cancelledHere = false);

// Why CreateFile on the port `comName` ("COM7") failed with `error`, naming
// the port, in words a user can act on.
std::string OpenFailureReason(const std::string& comName, DWORD error);

class Win32SerialPorts final : public SerialPorts {
public:
    OpenResult open(int portIndex) override;
};

}  // namespace torvane::win32

// The serial line on Windows: the COM device opened for overlapped I/O, with one manual-reset
// event for reads, one for writes and one for waiting on the line's receive event.
//
// COM n is opened as \\.\COMn: the plain name "COMn" opens only COM1 to COM9.
#include <windows.h>

#include <cstdio>

#include "pos/serial_line.h"

namespace quendal {

namespace {

constexpr DWORD kQueueBytes = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// At the close only what came in is thrown away: the output queue holds the last frame written
// (a failed call's cancel notice). On a pty under wine the flush before it returns at once, and
// clearing the output there discards a frame the far end has not read yet.
constexpr DWORD kPurgeInput = PURGE_RXABORT | PURGE_RXCLEAR;

HANDLE new_event() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void close_event(HANDLE& event) {
  if (event != nullptr) {
    CloseHandle(event);
    event = nullptr;
  }
}

class Win32SerialLine final : public SerialLine {
 public:
  ~Win32SerialLine() override { Close(); }

  bool Open(uint8_t number, uint32_t speed, const LineSettings& line_settings) override {
    if (handle_ != INVALID_HANDLE_VALUE) return false;
    settings_ = line_settings;

    ZeroMemory(&read_overlapped_, sizeof read_overlapped_);
    read_overlapped_.hEvent = new_event();
    if (read_overlapped_.hEvent == nullptr) return false;
    ZeroMemory(&write_overlapped_, sizeof write_overlapped_);
    write_overlapped_.hEvent = new_event();
    ZeroMemory(&wait_overlapped_, sizeof wait_overlapped_);
    wait_overlapped_.hEvent = new_event();
    if (write_overlapped_.hEvent == nullptr || wait_overlapped_.hEvent == nullptr) {
      CloseEvents();
      return false;
    }

    // Windows' own serial driver lets a port be opened once, but not every driver does (wine's
    // does not, nor do some virtual ports): the port is also claimed by name among the
    // processes of the session, before anything touches it.
    if (!Claim(number)) {
      CloseEvents();
      return false;
    }
    char name[16];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", static_cast<int>(number));
    // Share mode 0: the port is ours alone while it is open; a second opener, in this process or
    // another, fails here before anything is purged or written.
    handle_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
      CloseEvents();
      return false;
    }

    SetCommMask(handle_, EV_RXCHAR);
    SetupComm(handle_, kQueueBytes, kQueueBytes);
    PurgeComm(handle_, kPurgeAll);
    COMMTIMEOUTS timeouts{};
    // A read returns at once with what is queued; a write may take 2 ms a byte at the stored
    // speed.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = 19200 / (settings_.baud == 0 ? 9600 : settings_.baud);
    timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(handle_, &timeouts);

    if (ApplyLineSettings(speed) == 0) {
      Close();
      return false;
    }
    EscapeCommFunction(handle_, SETDTR);
    return true;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  int ApplyLineSettings(uint32_t speed) override {
    if (handle_ == INVALID_HANDLE_VALUE) return 0;
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    GetCommState(handle_, &dcb);
    dcb.BaudRate = speed;
    dcb.ByteSize = settings_.byte_size;
    dcb.Parity = settings_.parity;
    dcb.StopBits = settings_.stop_bits;
    dcb.EvtChar = static_cast<char>(settings_.event_char);
    dcb.fBinary = 1;
    dcb.fParity = 1;
    const uint32_t flow = settings_.flow_control;
    dcb.fOutxDsrFlow = (flow & 1u) != 0;
    dcb.fDtrControl = (flow & 1u) != 0 ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = (flow & 2u) != 0;
    dcb.fRtsControl = (flow & 2u) != 0 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = (flow & 4u) != 0;
    dcb.fInX = (flow & 4u) != 0;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    return SetCommState(handle_, &dcb) ? 1 : 0;
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      CloseEvents();
      return;
    }
    SetCommMask(handle_, 0);
    EscapeCommFunction(handle_, CLRDTR);
    // Let what was written leave the output queue before the purge: the last frame of a failed
    // call is the terminal's cancel notice.
    FlushFileBuffers(handle_);
    PurgeComm(handle_, kPurgeInput);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    CloseEvents();
  }

  void Abandon() override {
    // Nothing on Windows inherits an open port from a running call; let the handle go as it is.
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    CloseEvents();
  }

  int32_t Read(uint8_t* buffer, uint32_t max_len) override {
    if (handle_ == INVALID_HANDLE_VALUE || buffer == nullptr || max_len == 0) return 0;
    DWORD n = 0;
    if (!QueuedOrFailed(n)) return -1;
    if (n > max_len) n = max_len;
    if (n == 0) return 0;
    // No pause before the read: the bytes are already queued, and a frame arrives in several
    // reads, each of which a pause would delay (measured: it more than doubles a frame's latency).
    DWORD count = 0;
    if (ReadFile(handle_, buffer, n, &count, &read_overlapped_)) return static_cast<int32_t>(count);
    if (GetLastError() != ERROR_IO_PENDING) {
      // The device refused the read (it was unplugged, the driver failed): no input will come.
      ClearErrors();
      return -1;
    }
    OutputDebugStringA("\n\rIO Pending");
    for (;;) {
      if (GetOverlappedResult(handle_, &read_overlapped_, &count, TRUE)) {
        return static_cast<int32_t>(count);
      }
      if (GetLastError() != ERROR_IO_INCOMPLETE) {
        ClearErrors();
        return count > 0 ? static_cast<int32_t>(count) : -1;
      }
    }
  }

  bool Write(const uint8_t* buffer, int32_t len) override {
    if (handle_ == INVALID_HANDLE_VALUE || len < 0 || (buffer == nullptr && len > 0)) return false;
    DWORD count = 0;
    if (WriteFile(handle_, buffer, static_cast<DWORD>(len), &count, &write_overlapped_)) {
      return count == static_cast<DWORD>(len);
    }
    if (GetLastError() != ERROR_IO_PENDING) {
      ClearErrors();
      return false;
    }
    // The write completes, fails, or ends at the write time-out with part of the block sent; only
    // the whole block counts as sent.
    DWORD total = 0;
    bool failed = false;
    for (;;) {
      count = 0;
      if (GetOverlappedResult(handle_, &write_overlapped_, &count, TRUE)) break;
      if (GetLastError() != ERROR_IO_INCOMPLETE) {
        ClearErrors();
        failed = true;
        break;
      }
      total += count;
    }
    total += count;
    char line[80];
    if (total == static_cast<DWORD>(len)) {
      wsprintfA(line, "\n%ld bytes written", static_cast<long>(total));
    } else {
      wsprintfA(line, "\nProbable Write Timeout: Total of %ld bytes sent",
                static_cast<long>(total));
    }
    OutputDebugStringA(line);
    return !failed && total == static_cast<DWORD>(len);
  }

  LineWait WaitReadable(uint32_t ms) override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      Sleep(ms);
      return LineWait::kQuiet;
    }
    DWORD queued = 0;
    if (!QueuedOrFailed(queued)) return LineWait::kBroken;
    if (queued > 0) return LineWait::kReady;
    // Wait on the line's receive event, so a byte is seen the moment it lands.
    DWORD mask = 0;
    ResetEvent(wait_overlapped_.hEvent);
    if (WaitCommEvent(handle_, &mask, &wait_overlapped_)) {
      return Queued() > 0 || mask != 0 ? LineWait::kReady : LineWait::kQuiet;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
      // The line cannot wait for us: it has gone away, and no input will come.
      ClearErrors();
      return LineWait::kBroken;
    }
    // A byte may have landed between the first look and the start of the wait.
    DWORD signalled =
        Queued() > 0 ? WAIT_OBJECT_0 : WaitForSingleObject(wait_overlapped_.hEvent, ms);
    if (signalled == WAIT_FAILED) {
      SetCommMask(handle_, EV_RXCHAR);
      DWORD unused = 0;
      GetOverlappedResult(handle_, &wait_overlapped_, &unused, TRUE);
      return LineWait::kBroken;
    }
    if (signalled != WAIT_OBJECT_0) {
      // Setting the mask again ends the wait in progress; nothing is left in flight on return.
      SetCommMask(handle_, EV_RXCHAR);
    }
    DWORD unused = 0;
    bool waited = GetOverlappedResult(handle_, &wait_overlapped_, &unused, TRUE) != 0;
    if (!QueuedOrFailed(queued)) return LineWait::kBroken;
    if (queued > 0) return LineWait::kReady;
    // A wait that completed with an error, not because it was ended here, is a failed line.
    if (!waited && signalled == WAIT_OBJECT_0 && GetLastError() != ERROR_OPERATION_ABORTED) {
      return LineWait::kBroken;
    }
    return LineWait::kQuiet;
  }

  void DiscardInput() override {
    if (handle_ != INVALID_HANDLE_VALUE) PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR);
  }

 private:
  // The bytes queued for reading in `queued`; false when the line cannot say (it failed).
  bool QueuedOrFailed(DWORD& queued) {
    DWORD errors = 0;
    COMSTAT status{};
    queued = 0;
    if (!ClearCommError(handle_, &errors, &status)) return false;
    queued = status.cbInQue;
    return true;
  }

  DWORD Queued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) return 0;
    return status.cbInQue;
  }

  void ClearErrors() {
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(handle_, &errors, &status);
  }

  // The claim is a semaphore of one per COM number: unlike a mutex it is not the thread's, so a
  // second opener in the same thread is turned away too, and it goes with the last handle to it
  // when a holder dies.
  bool Claim(uint8_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "Quendal.COM%d", static_cast<int>(number));
    claim_ = CreateSemaphoreA(nullptr, 1, 1, name);
    if (claim_ != nullptr && WaitForSingleObject(claim_, 0) == WAIT_OBJECT_0) return true;
    if (claim_ != nullptr) CloseHandle(claim_);
    claim_ = nullptr;
    return false;
  }

  void CloseEvents() {
    close_event(read_overlapped_.hEvent);
    close_event(write_overlapped_.hEvent);
    close_event(wait_overlapped_.hEvent);
    if (claim_ != nullptr) {
      ReleaseSemaphore(claim_, 1, nullptr);
      CloseHandle(claim_);
      claim_ = nullptr;
    }
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HANDLE claim_ = nullptr;  // this process's claim on the port, while it is open
  OVERLAPPED read_overlapped_{};
  OVERLAPPED write_overlapped_{};
  OVERLAPPED wait_overlapped_{};
  LineSettings settings_;
};

}  // namespace

std::unique_ptr<SerialLine> make_native_line() { return std::make_unique<Win32SerialLine>(); }

}  // namespace quendal

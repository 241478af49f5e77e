#pragma once
// The vocabulary of the device seam: the structures and flag values of the Win32 serial
// API, kept as plain numbers so the port code and its tests speak in the values a serial
// driver is documented with. Backends translate them to their own system.
#include <cstdint>

namespace corvane::platform {

// Device control block: line settings in one record, as SetCommState takes them.
struct Dcb {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;
  uint32_t Flags = 0;  // fBinary .. fAbortOnError, see the kDcb* bits
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  uint16_t wReserved1 = 0;

  friend bool operator==(const Dcb&, const Dcb&) = default;
};
inline constexpr uint32_t kDcbSize = 28;
static_assert(sizeof(Dcb) == kDcbSize, "the control block keeps its documented size");

inline constexpr uint32_t kDcbBinary = 1;
inline constexpr uint32_t kDcbParity = 2;
inline constexpr uint32_t kDcbOutxCtsFlow = 4;
inline constexpr uint32_t kDcbOutxDsrFlow = 8;
inline constexpr uint32_t kDcbDtrControlMask = 16 | 32;
inline constexpr uint32_t kDcbDsrSensitivity = 64;
inline constexpr uint32_t kDcbTXContinueOnXoff = 128;
inline constexpr uint32_t kDcbOutX = 256;
inline constexpr uint32_t kDcbInX = 512;
inline constexpr uint32_t kDcbErrorChar = 1024;
inline constexpr uint32_t kDcbNull = 2048;
inline constexpr uint32_t kDcbRtsControlMask = 4096 | 8192;
inline constexpr uint32_t kDcbAbortOnError = 16384;

// Values of the two-bit DTR and RTS control fields, already shifted into Flags.
inline constexpr uint32_t DTR_CONTROL_DISABLE = 0;
inline constexpr uint32_t DTR_CONTROL_ENABLE = 16;
inline constexpr uint32_t DTR_CONTROL_HANDSHAKE = 32;
inline constexpr uint32_t RTS_CONTROL_DISABLE = 0;
inline constexpr uint32_t RTS_CONTROL_ENABLE = 4096;
inline constexpr uint32_t RTS_CONTROL_HANDSHAKE = 8192;
inline constexpr uint32_t RTS_CONTROL_TOGGLE = 12288;

inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t MARKPARITY = 3;
inline constexpr uint8_t SPACEPARITY = 4;

inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t ONE5STOPBITS = 1;
inline constexpr uint8_t TWOSTOPBITS = 2;

// Driver timeouts in milliseconds; all ones in ReadIntervalTimeout with both read totals
// 0 means "return at once with what has arrived".
struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;

  friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};
inline constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

// Queue counts returned with the line error flags.
struct ComStat {
  uint32_t cbInQue = 0;
  uint32_t cbOutQue = 0;
};

// Event mask bits of SetCommMask and WaitCommEvent.
inline constexpr uint32_t EV_RXCHAR = 1;
inline constexpr uint32_t EV_RXFLAG = 2;
inline constexpr uint32_t EV_TXEMPTY = 4;
inline constexpr uint32_t EV_CTS = 8;
inline constexpr uint32_t EV_DSR = 16;
inline constexpr uint32_t EV_RLSD = 32;
inline constexpr uint32_t EV_BREAK = 64;
inline constexpr uint32_t EV_ERR = 128;
inline constexpr uint32_t EV_RING = 256;
inline constexpr uint32_t EV_PERR = 512;
inline constexpr uint32_t EV_RX80FULL = 1024;

// Line error flags of ClearCommError.
inline constexpr uint32_t CE_RXOVER = 1;
inline constexpr uint32_t CE_OVERRUN = 2;
inline constexpr uint32_t CE_RXPARITY = 4;
inline constexpr uint32_t CE_FRAME = 8;
inline constexpr uint32_t CE_BREAK = 16;
inline constexpr uint32_t CE_TXFULL = 256;
inline constexpr uint32_t CE_IOE = 1024;
inline constexpr uint32_t CE_MODE = 32768;

// Modem status bits of GetCommModemStatus.
inline constexpr uint32_t MS_CTS_ON = 16;
inline constexpr uint32_t MS_DSR_ON = 32;
inline constexpr uint32_t MS_RING_ON = 64;
inline constexpr uint32_t MS_RLSD_ON = 128;

// PurgeComm flags: the abort flags end pending transfers, the clear flags drop queued bytes.
inline constexpr uint32_t PURGE_TXABORT = 1;
inline constexpr uint32_t PURGE_RXABORT = 2;
inline constexpr uint32_t PURGE_TXCLEAR = 4;
inline constexpr uint32_t PURGE_RXCLEAR = 8;

}  // namespace corvane::platform

#pragma once
// The enumerations and sets of the serial port object. Each enumeration is stored in one
// byte; a set holds bit n for the member with ordinal n. The ordinals are part of the
// port's persisted and displayed forms, so members must never be reordered.
#include <array>
#include <cstdint>

#include "cport/enum_set.h"

enum TBaudRate : uint8_t {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};

enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };

enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };

enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };

enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };

enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };

enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };

enum TComEvent : uint8_t {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};
using TComEvents = corvane::EnumSet<TComEvent, uint16_t>;

enum TComError : uint8_t {
  ceFrame,
  ceRxParity,
  ceOverrun,
  ceBreak,
  ceIO,
  ceMode,
  ceRxOver,
  ceTxFull
};
using TComErrors = corvane::EnumSet<TComError, uint8_t>;

enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };

enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
using TStoredProps = corvane::EnumSet<TStoredProp, uint8_t>;

// The error kinds of the port; a kind's error code is its ordinal plus one.
enum TComExceptions : uint8_t {
  CE_OpenFailed,
  CE_WriteFailed,
  CE_ReadFailed,
  CE_InvalidAsync,
  CE_PurgeFailed,
  CE_AsyncCheck,
  CE_SetStateFailed,
  CE_TimeoutsFailed,
  CE_SetupComFailed,
  CE_ClearComFailed,
  CE_ModemStatFailed,
  CE_EscapeComFailed,
  CE_TransmitFailed,
  CE_ConnChangeProp,
  CE_EnumPortsFailed,
  CE_StoreFailed,
  CE_LoadFailed,
  CE_RegFailed,
  CE_LedStateFailed,
  CE_ThreadCreated,
  CE_WaitFailed,
  CE_HasLink,
  CE_RegError,
  CEPortNotOpen
};

enum TComModemSignal : uint8_t { msCTS, msDSR, msRing, msRLSD };
using TComModemSignals = corvane::EnumSet<TComModemSignal, uint8_t>;

namespace corvane {

// Member counts, for tables indexed by ordinal.
inline constexpr int kBaudRateCount = br256000 + 1;
inline constexpr int kStopBitsCount = sbTwoStopBits + 1;
inline constexpr int kDataBitsCount = dbEight + 1;
inline constexpr int kParityBitsCount = prSpace + 1;
inline constexpr int kDTRFlowControlCount = dtrHandshake + 1;
inline constexpr int kRTSFlowControlCount = rtsToggle + 1;
inline constexpr int kFlowControlCount = fcCustom + 1;
inline constexpr int kComEventCount = evRx80Full + 1;
inline constexpr int kComErrorCount = ceTxFull + 1;
inline constexpr int kSyncMethodCount = smNone + 1;
inline constexpr int kStoredPropCount = spOthers + 1;
inline constexpr int kComExceptionCount = CEPortNotOpen + 1;
inline constexpr int kComModemSignalCount = msRLSD + 1;

// Bit/s for each TBaudRate; the brCustom entry is never used, CustomBaudRate stands in.
inline constexpr std::array<int32_t, kBaudRateCount> kBaudRateBits = {
    0,     110,   300,   600,   1200,  2400,   4800,   9600,
    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits((1u << kComEventCount) - 1);

}  // namespace corvane

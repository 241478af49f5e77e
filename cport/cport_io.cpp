// Reading, writing and the line status queries of a port.
#include <algorithm>
#include <cerrno>

#include "cport/cport.h"

namespace {

using namespace corvane::platform;

constexpr uint16_t kPortNotOpen = CEPortNotOpen + 1;
// Code 24 carries this in place of a platform code, so it never shows in a message.
constexpr int64_t kPortNotOpenWinError = -24;

}  // namespace

int32_t TCustomComPort::InQueueCount() {
  uint32_t errors = 0;
  uint32_t inQueue = 0;
  // A closed port has no device; the platform would reject the invalid handle.
  const int err = FDevice ? FDevice->ClearCommErrorIn(errors, inQueue) : EBADF;
  if (err) {
    ReportPortError(CE_ClearComFailed + 1, err);
    return 0;
  }
  return static_cast<int32_t>(std::min<uint32_t>(inQueue, INT32_MAX));
}

TComErrors TCustomComPort::LineErrors() {
  uint32_t errors = 0;
  ComStat stat;
  const int err = FDevice ? FDevice->ClearCommError(errors, stat) : EBADF;
  if (err) {
    ReportPortError(CE_ClearComFailed + 1, err);
    return {};
  }
  TComErrors e;
  if (errors & CE_FRAME) e.insert(ceFrame);
  if ((errors & CE_RXPARITY) && FParity->Check()) e.insert(ceRxParity);
  if (errors & CE_OVERRUN) e.insert(ceOverrun);
  if (errors & CE_RXOVER) e.insert(ceRxOver);
  if (errors & CE_TXFULL) e.insert(ceTxFull);
  if (errors & CE_BREAK) e.insert(ceBreak);
  if (errors & CE_IOE) e.insert(ceIO);
  if (errors & CE_MODE) e.insert(ceMode);
  return e;
}

int32_t TCustomComPort::StartWrite(const void* Buffer, int32_t Count, TComAsync* Async) {
  if (!Async) {
    ReportPortError(CE_InvalidAsync + 1, 0);
    return 0;
  }
  if (!FDevice) {
    ReportPortError(kPortNotOpen, kPortNotOpenWinError);
    // An OnException handler let it pass: the write on the missing device fails as well.
    ReportPortError(CE_WriteFailed + 1, EBADF);
    SignalLinks(plTx, true);
    return 0;
  }
  // A negative count would ask for a copy of negative size: nothing is written instead.
  Count = std::max(Count, 0);
  FillAsync(akWrite, Buffer, Count, *Async);
  Transfer& t = Async->Overlapped;
  t = Transfer{};
  t.Kind = TransferKind::Write;
  t.Data = Async->Data.get();
  t.Count = static_cast<uint32_t>(Count);
  Async->Issued = true;
  if (int err = FDevice->StartWrite(t)) {
    t.Pending = false;
    ReportPortError(CE_WriteFailed + 1, err);
  }
  SignalLinks(plTx, true);
  return t.Pending ? 0 : static_cast<int32_t>(t.Done);
}

int32_t TCustomComPort::StartWriteText(const std::string& Text, TComAsync* Async) {
  if (Text.empty()) return 0;
  return StartWrite(Text.data(), static_cast<int32_t>(std::min<size_t>(Text.size(), INT32_MAX)),
                    Async);
}

int32_t TCustomComPort::WriteText(const std::string& Text) {
  PAsync async;
  AllocAsync(async);
  StartWriteText(Text, async.get());
  const int32_t result = AwaitAsync(async.get());
  FreeAsync(async);
  return result;
}

int32_t TCustomComPort::StartRead(void* Buffer, int32_t Count, TComAsync* Async) {
  if (!Async) {
    ReportPortError(CE_InvalidAsync + 1, 0);
    return 0;
  }
  Async->Kind = akRead;
  if (!FDevice) {
    ReportPortError(kPortNotOpen, kPortNotOpenWinError);
    ReportPortError(CE_ReadFailed + 1, EBADF);
    return 0;
  }
  Transfer& t = Async->Overlapped;
  t = Transfer{};
  t.Kind = TransferKind::Read;
  t.Buffer = static_cast<char*>(Buffer);
  t.Count = static_cast<uint32_t>(std::max(Count, 0));
  Async->Issued = true;
  if (int err = FDevice->StartRead(t)) {
    t.Pending = false;
    ReportPortError(CE_ReadFailed + 1, err);
  }
  return t.Pending ? 0 : static_cast<int32_t>(t.Done);
}

int32_t TCustomComPort::ReadBytes(void* Buffer, int32_t Count) {
  PAsync async;
  AllocAsync(async);
  StartRead(Buffer, Count, async.get());
  const int32_t result = AwaitAsync(async.get());
  FreeAsync(async);
  return result;
}

int32_t TCustomComPort::StartReadText(std::string& Text, int32_t Count, TComAsync* Async) {
  Text.assign(static_cast<size_t>(std::max(Count, 0)), '\0');
  if (Count < 1) return 0;
  return StartRead(Text.data(), Count, Async);
}

int32_t TCustomComPort::ReadText(std::string& Text, int32_t Count) {
  PAsync async;
  AllocAsync(async);
  StartReadText(Text, Count, async.get());
  const int32_t n = AwaitAsync(async.get());
  Text.resize(static_cast<size_t>(std::clamp<int32_t>(n, 0, static_cast<int32_t>(Text.size()))));
  FreeAsync(async);
  return n;
}

int32_t TCustomComPort::AwaitAsync(TComAsync* Async) {
  if (!Async) {
    ReportPortError(CE_InvalidAsync + 1, 0);
    return 0;
  }
  if (!Async->Issued) return 0;
  Transfer& t = Async->Overlapped;
  if (t.Pending) {
    const int err = FDevice ? FDevice->AwaitTransfer(t) : EBADF;
    t.Pending = false;
    if (err) ReportPortError(AsyncErrorCode(*Async), err);
  }
  if (Async->Kind == akRead) {
    // Every read takes the pending line errors along, as counting the input would. Only a
    // link's receive signal wants the count itself; the device forgets the errors more
    // cheaply than it counts.
    if (LinksHave(&TComPortLink::OnRx)) {
      if (InQueueCount() == 0) SignalLinks(plRx, false);
    } else if (int err = FDevice ? FDevice->DropLineErrors() : EBADF) {
      ReportPortError(CE_ClearComFailed + 1, err);
    }
  } else if (Async->Data) {
    PassTxToLinks(Async->Data.get(), Async->Size);
  }
  return static_cast<int32_t>(t.Done);
}

#include "cport/com_async.h"

#include <cstring>

#include "cport/cport_types.h"

void AllocAsync(PAsync& AsyncPtr) {
  AsyncPtr = std::make_unique<TComAsync>();
}

void FreeAsync(PAsync& AsyncPtr) {
  AsyncPtr.reset();
}

void FillAsync(TComAsyncKind Kind, const void* Buffer, int32_t Count, TComAsync& Async) {
  Async.Kind = Kind;
  Async.Data.reset();
  Async.Size = 0;
  if (Count <= 0) return;
  Async.Data = std::make_unique<char[]>(static_cast<size_t>(Count));
  std::memcpy(Async.Data.get(), Buffer, static_cast<size_t>(Count));
  Async.Size = Count;
}

uint16_t AsyncErrorCode(const TComAsync& Async) {
  return Async.Kind == akWrite ? CE_WriteFailed + 1 : CE_ReadFailed + 1;
}

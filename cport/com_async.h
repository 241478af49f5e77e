#pragma once
// The record of one transfer: issued on the device first, awaited afterwards. A write keeps
// its own copy of the bytes, so the caller's buffer may go as soon as the write is issued;
// a read fills the caller's buffer, which must stay valid until the transfer is awaited.
#include <cstdint>
#include <memory>

#include "cport/platform/device.h"

enum TComAsyncKind : uint8_t { akWrite, akRead };

struct TComAsync {
  corvane::platform::Transfer Overlapped;
  TComAsyncKind Kind = akWrite;
  std::unique_ptr<char[]> Data;  // the bytes of the write last issued on the record
  int32_t Size = 0;
  // False until a transfer was issued: awaiting such a record returns 0 at once.
  bool Issued = false;
};

// Owning reference to a record; the record and its data go with it, also when a step
// between allocating and freeing raises.
using PAsync = std::unique_ptr<TComAsync>;

void AllocAsync(PAsync& AsyncPtr);
void FreeAsync(PAsync& AsyncPtr);
// Kind := Kind; Data := a copy of Count bytes of Buffer (none for a Count of 0 or less).
void FillAsync(TComAsyncKind Kind, const void* Buffer, int32_t Count, TComAsync& Async);
// The error code of a failed completion: 2 for a write, 3 for a read.
uint16_t AsyncErrorCode(const TComAsync& Async);

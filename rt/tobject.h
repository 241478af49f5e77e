#pragma once
// The common base of objects that raise events, and the plain notification type.
// Handlers receive the object that raised the event as Sender.
#include <functional>

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

#include "cport/component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner != nullptr) FOwner->FOwned.push_back(this);
}

TComponent::~TComponent() {
  // Owned components leave the list as they go, so take them from the back.
  while (!FOwned.empty()) delete FOwned.back();
  if (FOwner != nullptr) {
    auto& list = FOwner->FOwned;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

#pragma once
// The component base of the port object: a name, an owner that destroys it, and the
// loading state during which stored properties are read and setters only record.
#include <string>
#include <vector>

#include "rt/tobject.h"

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  TComponent* Owner() const { return FOwner; }

  bool Loading() const { return FLoading; }
  // Enters the loading state; EndLoading leaves it through the after-loading hook.
  void BeginLoading() { FLoading = true; }
  void EndLoading() { Loaded(); }

 protected:
  // The after-loading hook; overrides call the base first, which ends the loading state.
  virtual void Loaded() { FLoading = false; }

 private:
  std::string FName;
  TComponent* FOwner;
  std::vector<TComponent*> FOwned;
  bool FLoading = false;
};

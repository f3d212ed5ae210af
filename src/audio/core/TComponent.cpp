#include "audio/core/TComponent.h"

#include <algorithm>

#include "audio/core/TEventHandler.h"

namespace {
void EraseOne(std::vector<TComponent*>& List, TComponent* Item) {
  auto it = std::find(List.begin(), List.end(), Item);
  if (it != List.end()) List.erase(it);
}
}  // namespace

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (!FOwner) return;
  FDesigning = FOwner->FDesigning;
  FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  // Reached by a plain delete: BeforeDestruction has not run.
  if (!FDestroying) {
    FDestroying = true;
    SendRemoveNotifications();
  }
  FreeOwnedComponents();
  if (FOwner) EraseOne(FOwner->FComponents, this);
  // Events still queued for this component must not reach a freed sender.
  TEventHandler::RemoveEventsOf(this);
}

void TComponent::Free(TComponent* Component) noexcept {
  if (!Component) return;
  if (!Component->FDestroying) Component->BeforeDestruction();
  delete Component;
}

void TComponent::BeforeDestruction() {
  if (FDestroying) return;
  FDestroying = true;
  SendRemoveNotifications();
  // Owned components go while this one is still whole, so their own
  // notifications can still reach it.
  FreeOwnedComponents();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  auto& theirs = AComponent->FFreeNotifies;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  EraseOne(FFreeNotifies, AComponent);
  EraseOne(AComponent->FFreeNotifies, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::SendRemoveNotifications() {
  // Each partner is unlinked before it is told, so a partner that frees
  // further components from its Notification cannot reach this list again.
  while (!FFreeNotifies.empty()) {
    TComponent* partner = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    EraseOne(partner->FFreeNotifies, this);
    partner->Notification(this, TOperation::opRemove);
  }
}

void TComponent::FreeOwnedComponents() {
  while (!FComponents.empty()) {
    TComponent* child = FComponents.back();
    FComponents.pop_back();
    child->FOwner = nullptr;
    Free(child);
  }
}

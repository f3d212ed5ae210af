#pragma once
// Component base of the audio pipeline.
//
// Ownership: a component created with an owner is freed by that owner, in the
// reverse order of creation, when the owner is freed. A component may also be
// freed earlier; it then leaves its owner's list.
//
// Free notification: A.FreeNotification(B) asks B to call A.Notification(B,
// opRemove) when B is freed, so A can drop its reference. The link is two-way
// and is removed when either side goes.
//
// Freeing: use TComponent::Free (or TComponentPtr, or the owner). Free first
// calls the virtual BeforeDestruction, while the whole object is still alive,
// so free notifications go out and subclasses (outputs stopping their worker)
// can shut down before any destructor runs. A plain `delete` still works, but
// then the notifications are sent only from the base destructor, after the
// subclass parts are gone.
//
// Threads: ownership, notification and freeing are GUI-thread operations.

#include <memory>
#include <string>
#include <vector>

enum class TOperation { opInsert, opRemove };

class TComponent {
 public:
  explicit TComponent(TComponent* AOwner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // BeforeDestruction, then delete. Null is ignored.
  static void Free(TComponent* Component) noexcept;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const { return FComponents.at(static_cast<size_t>(Index)); }

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }

  // Design mode: inherited from the owner at construction. Outputs created in
  // design mode create no worker and do not use the shared event thread.
  bool Designing() const { return FDesigning; }
  void SetDesigning(bool Value) { FDesigning = Value; }

  // Ask AComponent to notify this component when AComponent is freed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // True once BeforeDestruction has run.
  bool Destroying() const { return FDestroying; }

 protected:
  // Called on the components registered through FreeNotification when
  // AComponent is being freed (Operation = opRemove). The base does nothing.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Runs once, first thing when freeing. Overrides must call the base.
  virtual void BeforeDestruction();

 private:
  void SendRemoveNotifications();
  void FreeOwnedComponents();

  TComponent* FOwner = nullptr;
  std::string FName;
  bool FDesigning = false;
  bool FDestroying = false;
  std::vector<TComponent*> FComponents;     // owned, in creation order
  std::vector<TComponent*> FFreeNotifies;   // components linked by free notification
};

// unique_ptr that frees through TComponent::Free.
struct TComponentDeleter {
  void operator()(TComponent* Component) const noexcept { TComponent::Free(Component); }
};
template <class T>
using TComponentPtr = std::unique_ptr<T, TComponentDeleter>;

template <class T, class... Args>
TComponentPtr<T> MakeComponent(Args&&... args) {
  return TComponentPtr<T>(new T(std::forward<Args>(args)...));
}

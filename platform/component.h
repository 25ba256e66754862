#pragma once

#include <string>
#include <vector>

namespace nimbus {

enum class TOperation { opInsert, opRemove };

// Base of every component of the access layer, script engine and main window.
// A component frees the components it owns; a component going away tells its
// owner, the owner's other components and every component that asked for a
// free notification, so nobody keeps a dangling reference.
class TComponent {
public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  TComponent* Owner() const { return owner_; }
  const std::vector<TComponent*>& Components() const { return components_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

  // Takes ownership of `component`, taking it from its previous owner.
  void InsertComponent(TComponent* component);
  // Gives up ownership without freeing.
  void RemoveComponent(TComponent* component);

  // `other` is told (Notification with opRemove) when this component is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  bool Destroying() const { return destroying_; }

protected:
  // Called for insertions into and removals from the owner tree and for free
  // notifications. Overrides must call the base version and must not throw.
  virtual void Notification(TComponent* component, TOperation operation);

private:
  void NotifyTree(TComponent* component, TOperation operation);

  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  bool destroying_ = false;
};

// The names of the owners, outermost first, and the component's own name,
// joined by "."; unnamed components are skipped. Empty for no component.
std::string ComponentPath(const TComponent* component);

} // namespace nimbus

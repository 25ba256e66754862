#include "platform/component.h"

#include <algorithm>

namespace nimbus {

namespace {

void Erase(std::vector<TComponent*>& list, TComponent* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

TComponent::TComponent(TComponent* owner) {
  if (owner)
    owner->InsertComponent(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Tell the components that asked about us; each answers by dropping its
  // reference, and we drop ours to it.
  while (!free_notifies_.empty()) {
    TComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    Erase(other->free_notifies_, this);
    other->Notification(this, TOperation::opRemove);
  }
  // Owned components go last-created first, so later ones never outlive what
  // they were built on.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    delete child; // its destructor removes it from components_
  }
  if (owner_)
    owner_->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component->owner_ == this)
    return;
  if (component->owner_)
    component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  NotifyTree(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->owner_ != this)
    return;
  NotifyTree(component, TOperation::opRemove);
  Erase(components_, component);
  component->owner_ = nullptr;
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this)
    return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end())
    free_notifies_.push_back(other);
  if (std::find(other->free_notifies_.begin(), other->free_notifies_.end(), this) ==
      other->free_notifies_.end())
    other->free_notifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other)
    return;
  Erase(free_notifies_, other);
  Erase(other->free_notifies_, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component)
    RemoveFreeNotification(component);
}

void TComponent::NotifyTree(TComponent* component, TOperation operation) {
  Notification(component, operation);
  // A copy: a handler may free or re-parent siblings.
  const std::vector<TComponent*> siblings = components_;
  for (TComponent* sibling : siblings)
    if (sibling != component)
      sibling->Notification(component, operation);
}

std::string ComponentPath(const TComponent* component) {
  std::string path;
  for (const TComponent* c = component; c; c = c->Owner()) {
    if (c->Name().empty())
      continue;
    path = path.empty() ? c->Name() : c->Name() + "." + path;
  }
  return path;
}

} // namespace nimbus

#include <gtest/gtest.h>

#include "platform/component.h"

namespace nimbus::test {
namespace {

// Remembers a referenced component and forgets it when told it is going.
class Holder : public TComponent {
public:
  using TComponent::TComponent;
  TComponent* ref = nullptr;
  std::vector<std::pair<TComponent*, TOperation>> seen;
  void Hold(TComponent* c) {
    ref = c;
    c->FreeNotification(this);
  }

protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    seen.emplace_back(c, op);
    if (op == TOperation::opRemove && c == ref)
      ref = nullptr;
  }
};

TEST(component, path_joins_named_owners_outermost_first) {
  TComponent app;
  TComponent form(&app);
  form.SetName("Form1");
  TComponent query(&form);
  query.SetName("qContext");
  TComponent unnamed(&query);
  EXPECT_EQ(ComponentPath(&query), "Form1.qContext");
  EXPECT_EQ(ComponentPath(&unnamed), "Form1.qContext");
  EXPECT_EQ(ComponentPath(&app), "");
  EXPECT_EQ(ComponentPath(nullptr), "");
}

TEST(component, owner_frees_its_children_and_siblings_are_told) {
  auto* owner = new TComponent;
  auto* watcher = new Holder(owner);
  auto* child = new TComponent(owner);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete child;
  EXPECT_EQ(owner->ComponentCount(), 1);
  ASSERT_FALSE(watcher->seen.empty());
  EXPECT_EQ(watcher->seen.back(), std::make_pair(child, TOperation::opRemove));
  delete owner; // frees watcher too; leak checkers see the rest
}

TEST(component, free_notification_clears_references_across_trees) {
  Holder holder;
  {
    TComponent other;
    holder.Hold(&other);
    EXPECT_EQ(holder.ref, &other);
  }
  EXPECT_EQ(holder.ref, nullptr);

  auto* target = new TComponent;
  {
    Holder shortLived;
    shortLived.Hold(target);
  } // the holder goes first: the target must not tell it anything later
  delete target;
}

} // namespace
} // namespace nimbus::test

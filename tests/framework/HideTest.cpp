// The hide protocol: listeners, destruction through hide, and the connection points every
// hideable object offers.

#include <gtest/gtest.h>

#include "TestObjects.h"
#include "framework/ConnectionPoints.h"

namespace veltra::test {
namespace {

// A hide listener that can change the listener list while it is called.
struct Listener {
  Log& log;
  std::string name;
  IHideNotify* target = nullptr;
  std::vector<TNotifyHide> toRemove{};
  std::vector<TNotifyHide> toAdd{};

  void OnHide(IInterface* sender) {
    log.push_back(name + (sender == Query<IInterface>(target).Get() ? " told" : " told (wrong sender)"));
    for (const TNotifyHide& h : toRemove) target->RemoveHideNotify(h);
    for (const TNotifyHide& h : toAdd) target->AddHideNotify(h);
  }
  TNotifyHide Handler() { return TNotifyHide::Bind<&Listener::OnHide>(this); }
};

TEST(Hide, ListenersAreToldOnceInOrderAndMayChangeTheListMeanwhile) {
  Log log;
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  IHideNotify* notify = object.Get();
  Listener a{log, "a", notify}, b{log, "b", notify}, c{log, "c", notify}, d{log, "d", notify};
  // a removes itself and c; b adds d; c would have been next.
  a.toRemove = {a.Handler(), c.Handler()};
  b.toAdd = {d.Handler()};
  notify->AddHideNotify(a.Handler());
  notify->AddHideNotify(b.Handler());
  notify->AddHideNotify(a.Handler());  // a duplicate is not added
  notify->AddHideNotify(c.Handler());

  object->Hide();
  EXPECT_EQ(log, (Log{"object hide", "a told", "b told", "d told"}));

  log.clear();
  object->Hide();  // the list is empty after a hide
  EXPECT_EQ(log, (Log{"object hide"}));

  notify->AddHideNotify(c.Handler());
  notify->RemoveHideNotify(c.Handler());
  log.clear();
  object.Reset();
  EXPECT_EQ(log, (Log{"object hide", "object destroyed"}));
}

TEST(Hide, LastReleaseHidesBeforeDestroying) {
  Log log;
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  struct Watcher {
    THideProbe* object;
    bool sawDestroying = false;
    void OnHide(IInterface*) { sawDestroying = object->Destroying(); }
  } watcher{object.Get()};
  object->AddHideNotify(TNotifyHide::Bind<&Watcher::OnHide>(&watcher));
  object.Reset();
  EXPECT_TRUE(watcher.sawDestroying);
  EXPECT_EQ(log, (Log{"object hide", "object destroyed"}));
}

// The usual holder: keeps a counted reference and lets go when the object is hidden. When it held
// the last reference, the object goes when Hide returns, not under the listener.
TEST(Hide, HolderLettingGoInsideTheNotificationDestroysTheObjectAfterwards) {
  Log log;
  struct Holder {
    Log& log;
    ComPtr<THideProbe> object;
    void OnHide(IInterface*) {
      object.Reset();
      log.push_back("holder let go");
    }
  } holder{log, MakeObject<THideProbe>(log, "object")};
  THideProbe* raw = holder.object.Get();
  raw->AddHideNotify(TNotifyHide::Bind<&Holder::OnHide>(&holder));
  raw->Hide();
  // Destruction hides once more; nobody listens any longer.
  EXPECT_EQ(log, (Log{"object hide", "holder let go", "object hide", "object destroyed"}));
}

TEST(Hide, OwnedObjectIsHiddenWithItsOwnerAndNeverByItsOwnInterfaces) {
  Log log;
  ComPtr<TNamedProbe<1>> owner = MakeObject<TNamedProbe<1>>();
  {
    Owned<THideProbe> part = MakeOwned<THideProbe>(log, "part", owner.Get());
    ComPtr<IHide> hide = Query<IHide>(part->Self());
    ASSERT_TRUE(hide);
    EXPECT_EQ(owner->RefCount(), 2);
    hide->Hide();  // holds and releases a reference on the owner: nothing is destroyed
    hide.Reset();
    EXPECT_EQ(log, (Log{"part hide"}));
    // What the part does not offer, its owner may: the query falls back to the owner.
    EXPECT_EQ(Query<IVTObject>(part->Self()).Get(), static_cast<IVTObject*>(owner.Get()));
  }
  EXPECT_EQ(log, (Log{"part hide", "part hide", "part destroyed"}));
  EXPECT_EQ(owner->RefCount(), 1);
}

// A listener that keeps the object alive past the start of its destruction is a programming error
// that the reference-count check reports.
TEST(Hide, ListenerKeepingAReferenceMakesDestructionThrow) {
  Log log;
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  struct Keeper {
    ComPtr<IInterface> kept;
    void OnHide(IInterface* sender) { kept = ComPtr<IInterface>(sender); }
  } keeper;
  object->AddHideNotify(TNotifyHide::Bind<&Keeper::OnHide>(&keeper));
  THideProbe* raw = object.Detach();
  try {
    raw->Release();
    FAIL() << "expected the refcount check to throw";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "TOwnInterfacedObject(THideProbe) refcount not zero (1) before destroy!");
  }
  keeper.kept.Reset();  // marked as being destroyed: this release does not destroy it again
  EXPECT_EQ(log, (Log{"object hide"}));
  TOwnInterfacedObject::Free(raw);
  EXPECT_EQ(log, (Log{"object hide", "object hide", "object destroyed"}));
}

}  // namespace
}  // namespace veltra::test

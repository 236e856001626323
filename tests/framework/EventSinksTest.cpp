// Connection points, event sinks, weak references and the data-change events.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <typeinfo>

#include "TestObjects.h"
#include "framework/ConnectionPoints.h"
#include "framework/EventSinks.h"

namespace veltra::test {
namespace {

// A sink class that logs its destruction, to see when a Free takes effect.
template <class T>
class TLogged : public T {
 public:
  template <class... A>
  explicit TLogged(Log& log, A&&... args) : T(std::forward<A>(args)...), log_(log) {}
  ~TLogged() override { log_.push_back(ClassNameOf(typeid(T)) + " destroyed"); }

 private:
  Log& log_;
};

// A sink of the direct hide interface (the one fired by a vtable call, not by Invoke).
class TDirectHideSink : public TOwnInterfacedObject, public IHideEvents {
 public:
  // A sink answering E_ABORT throws instead.
  static constexpr HResult E_ABORT = MakeHResult(0x80004004);

  TDirectHideSink(Log& log, std::string name, HResult answer = S_OK)
      : log_(log), name_(std::move(name)), answer_(answer) {}

  HResult OnHide(IInterface*) override {
    log_.push_back(name_ + " told");
    if (answer_ == E_ABORT) throw std::runtime_error("sink failure");
    return answer_;
  }
  HResult GetTypeInfoCount(uint32_t&) override { return E_NOTIMPL; }
  HResult GetTypeInfo(uint32_t, uint32_t, void**) override { return E_NOTIMPL; }
  HResult GetIDsOfNames(std::span<const std::string>, std::span<int32_t>) override {
    return E_NOTIMPL;
  }
  HResult Invoke(int32_t, uint16_t, std::span<const DispArg>, DispArg*) override {
    return E_NOTIMPL;
  }

 protected:
  bool GetInterface(const Guid& iid, void** object) override {
    return Answer<IHideEvents>(this, iid, object) || TOwnInterfacedObject::GetInterface(iid, object);
  }

 private:
  Log& log_;
  std::string name_;
  HResult answer_;
};

ComPtr<IConnectionPoint> PointOf(IInterface* object, const Guid& iid) {
  ComPtr<IConnectionPoint> point;
  Query<IConnectionPointContainer>(object)->FindConnectionPoint(iid, point);
  return point;
}

size_t Connections(IInterface* object, const Guid& iid) {
  return PointOf(object, iid)->EnumConnections().size();
}

TEST(ConnectionPoints, HideableObjectOffersItsHidePoints) {
  Log log;
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  ComPtr<IConnectionPointContainer> container = Query<IConnectionPointContainer>(object);
  ASSERT_TRUE(container);
  std::vector<Guid> interfaces;
  for (const auto& point : container->EnumConnectionPoints()) {
    interfaces.push_back(point->GetConnectionInterface());
  }
  EXPECT_EQ(interfaces, (std::vector<Guid>{IHideEvents::IID, kHideDispEventsIID}));

  ComPtr<IConnectionPoint> point = PointOf(object->Self(), kHideDispEventsIID);
  ASSERT_TRUE(point);
  EXPECT_EQ(object->RefCount(), 3) << "a point is part of its object and counts on it";
  EXPECT_TRUE(SameObject(point->GetConnectionPointContainer().Get(), object->Self()));

  ComPtr<IConnectionPoint> none = point;
  EXPECT_EQ(container->FindConnectionPoint(kSourceEventsIID, none), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(none);
}

TEST(ConnectionPoints, AdviseCountsTheSinkUntilUnadvise) {
  Log log;
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  ComPtr<TDirectHideSink> first = MakeObject<TDirectHideSink>(log, "first");
  ComPtr<TDirectHideSink> second = MakeObject<TDirectHideSink>(log, "second");
  ComPtr<IConnectionPoint> point = PointOf(object->Self(), IHideEvents::IID);

  uint32_t cookie1 = 0, cookie2 = 0;
  ASSERT_EQ(point->Advise(static_cast<IHideEvents*>(first.Get()), cookie1), S_OK);
  ASSERT_EQ(point->Advise(static_cast<IHideEvents*>(second.Get()), cookie2), S_OK);
  EXPECT_NE(cookie1, 0u);
  EXPECT_NE(cookie1, cookie2);
  EXPECT_EQ(first->RefCount(), 2);
  {
    const std::vector<ConnectData> connections = point->EnumConnections();
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_EQ(connections[0].cookie, cookie1);
    EXPECT_TRUE(SameObject(connections[1].sink.Get(), static_cast<IHideEvents*>(second.Get())));
  }

  EXPECT_EQ(point->Unadvise(cookie1), S_OK);
  EXPECT_EQ(point->Unadvise(cookie1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(first->RefCount(), 1);

  uint32_t refused = 7;
  EXPECT_EQ(point->Advise(object->Self(), refused), CONNECT_E_CANNOTCONNECT)
      << "an object that does not answer the event interface";
  EXPECT_EQ(refused, 0u);
  EXPECT_EQ(point->Unadvise(cookie2), S_OK);
}

TEST(ConnectionPoints, AFailingDirectSinkDoesNotStopTheHide) {
  Log log;
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  ComPtr<TDirectHideSink> failing = MakeObject<TDirectHideSink>(log, "failing", E_FAIL);
  ComPtr<TDirectHideSink> throwing = MakeObject<TDirectHideSink>(log, "throwing", TDirectHideSink::E_ABORT);
  ComPtr<TDirectHideSink> last = MakeObject<TDirectHideSink>(log, "last");
  ComPtr<IConnectionPoint> point = PointOf(object->Self(), IHideEvents::IID);
  uint32_t cookies[3] = {};
  point->Advise(static_cast<IHideEvents*>(failing.Get()), cookies[0]);
  point->Advise(static_cast<IHideEvents*>(throwing.Get()), cookies[1]);
  point->Advise(static_cast<IHideEvents*>(last.Get()), cookies[2]);
  object->Hide();
  EXPECT_EQ(log, (Log{"object hide", "failing told", "throwing told", "last told"}));
  for (uint32_t cookie : cookies) point->Unadvise(cookie);
}

// ---------------------------------------------------------------------------------------------
// Sinks

TEST(EventSinks, InvokeAcceptsOnlyMethodCalls) {
  SinkPtr<TObjectRef> ref = MakeSink<TObjectRef>();
  IDispatch* dispatch = ref.get();
  for (uint16_t flags : {kDispatchPropertyGet, kDispatchPropertyPut, kDispatchPropertyPutRef}) {
    try {
      dispatch->Invoke(kDispIdHide, flags, {}, nullptr);
      ADD_FAILURE() << "flags " << flags << " accepted";
    } catch (const ESinkError& e) {
      EXPECT_STREQ(e.what(), "TObjectRef only supports sinking of method calls!");
    }
  }
  EXPECT_EQ(dispatch->Invoke(12345, kDispatchMethod, {}, nullptr), DISP_E_MEMBERNOTFOUND);

  uint32_t count = 9;
  EXPECT_EQ(dispatch->GetTypeInfoCount(count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
  int32_t ids[2] = {5, 6};
  const std::string names[2] = {"a", "b"};
  EXPECT_EQ(dispatch->GetIDsOfNames(names, ids), E_NOTIMPL);
  EXPECT_EQ(ids[0] | ids[1], 0);

  void* events = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(kHideDispEventsIID, &events), S_OK);
  EXPECT_EQ(events, static_cast<void*>(dispatch)) << "the event interface is the sink's IDispatch";
  EXPECT_EQ(dispatch->QueryInterface(kSourceDispEventsIID, &events), E_NOINTERFACE);
  EXPECT_EQ(dispatch->AddRef(), 2u);
  EXPECT_EQ(dispatch->Release(), 1u);
}

TEST(EventSinks, ConnectFailureNamesTheSinkAndTheReason) {
  Log log;
  ComPtr<THideProbe> hideable = MakeObject<THideProbe>(log, "hideable");
  struct TPlain : TOwnInterfacedObject {};
  ComPtr<TPlain> plain = MakeObject<TPlain>();

  SinkPtr<TObjectRef> ref = MakeSink<TObjectRef>();
  ref->Set(hideable->Self());
  try {
    ref->Set(plain.Get());
    FAIL() << "connected to an object without connection points";
  } catch (const ESinkError& e) {
    EXPECT_STREQ(e.what(), "Unable to connect TObjectRef.\rThe object has no connection points.");
  }
  EXPECT_FALSE(ref->Connected());
  EXPECT_EQ(Connections(hideable->Self(), kHideDispEventsIID), 0u) << "the old object was let go";

  SinkPtr<TSourceEventsSingleSink> sink = MakeSink<TSourceEventsSingleSink>();
  EXPECT_THROW(sink->Connect(hideable->Self()), ESinkError) << "a hideable object fires no data events";
}

// The owner of a weak reference, as the lists of the library are.
struct RefOwner {
  Log& log;
  SinkPtr<TObjectRef> ref{};
  bool freeInHandler = false;

  void OnHide(TObjectRef* reference) {
    log.push_back(reference->Get() ? "ref told" : "ref told without object");
    if (freeInHandler) {
      ref.reset();
      // Still usable here: the free waits for the handler to return.
      log.push_back(reference->Connected() ? "freed, still connected" : "freed, disconnected");
    }
  }
  TObjectRef::THideHandler Handler() { return TObjectRef::THideHandler::Bind<&RefOwner::OnHide>(this); }
};

TEST(ObjectRef, WeakReferenceDropsTheObjectWhenItGoes) {
  Log log;
  RefOwner owner{log};
  owner.ref = MakeSink<TObjectRef>(owner.Handler());
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  owner.ref->Set(object->Self());
  EXPECT_EQ(object->RefCount(), 1) << "a weak reference holds no count";
  EXPECT_EQ(owner.ref->Get(), object->Self());
  EXPECT_EQ(Connections(object->Self(), kHideDispEventsIID), 1u);

  object.Reset();
  EXPECT_EQ(log, (Log{"object hide", "ref told", "object destroyed"}));
  EXPECT_EQ(owner.ref->Get(), nullptr);
  EXPECT_FALSE(owner.ref->Connected());
}

TEST(ObjectRef, CountedReferenceKeepsTheObjectUntilItIsHidden) {
  Log log;
  RefOwner owner{log};
  owner.ref = MakeSink<TObjectRef>(owner.Handler(), true);
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  owner.ref->Set(object->Self());
  THideProbe* raw = object.Get();
  object.Reset();
  EXPECT_TRUE(log.empty()) << "the counted reference keeps it";
  raw->Hide();  // the reference lets go, and the object goes (hiding once more as it does)
  EXPECT_EQ(log, (Log{"object hide", "ref told", "object hide", "object destroyed"}));
}

TEST(ObjectRef, SetMovesTheConnection) {
  Log log;
  ComPtr<THideProbe> a = MakeObject<THideProbe>(log, "a");
  ComPtr<THideProbe> b = MakeObject<THideProbe>(log, "b");
  RefOwner owner{log};
  owner.ref = MakeSink<TObjectRef>(owner.Handler());
  owner.ref->Set(a->Self());
  owner.ref->Set(b->Self());
  EXPECT_EQ(Connections(a->Self(), kHideDispEventsIID), 0u);
  EXPECT_EQ(Connections(b->Self(), kHideDispEventsIID), 1u);
  a->Hide();
  EXPECT_EQ(log, (Log{"a hide"})) << "the reference no longer hears a";
  owner.ref->Set(nullptr);
  EXPECT_EQ(Connections(b->Self(), kHideDispEventsIID), 0u);
}

TEST(ObjectRef, FreedInsideItsHandlerGoesWhenTheHandlerReturns) {
  Log log;
  RefOwner owner{log, nullptr, true};
  owner.ref.reset(new TLogged<TObjectRef>(log, owner.Handler()));
  ComPtr<THideProbe> object = MakeObject<THideProbe>(log, "object");
  owner.ref->Set(object->Self());
  object->Hide();
  EXPECT_EQ(log, (Log{"object hide", "ref told", "freed, still connected", "TObjectRef destroyed"}));
  EXPECT_EQ(Connections(object->Self(), kHideDispEventsIID), 0u);
}

struct ListOwner {
  Log& log;
  SinkPtr<TObjectReferences> list{};
  std::vector<IInterface*> removeInHandler{};
  bool freeInHandler = false;

  void OnHide(IInterface* object) {
    log.push_back(static_cast<THideProbe*>(Query<IHide>(object).Get())->Label() + " reported");
    for (IInterface* other : removeInHandler) list->Remove(other);
    if (freeInHandler) list.reset();
  }
  TObjectReferences::THideHandler Handler() {
    return TObjectReferences::THideHandler::Bind<&ListOwner::OnHide>(this);
  }
};

TEST(ObjectReferences, HiddenObjectIsReportedAndRemoved) {
  Log log;
  ComPtr<THideProbe> a = MakeObject<THideProbe>(log, "a");
  ComPtr<THideProbe> b = MakeObject<THideProbe>(log, "b");
  ComPtr<THideProbe> c = MakeObject<THideProbe>(log, "c");
  ListOwner owner{log, nullptr};
  owner.list = MakeSink<TObjectReferences>(owner.Handler());
  for (THideProbe* object : {a.Get(), b.Get(), c.Get(), a.Get()}) owner.list->Add(object->Self());
  EXPECT_EQ(owner.list->Count(), 3) << "an object is listed once";

  b->Hide();
  EXPECT_EQ(log, (Log{"b hide", "b reported"}));
  EXPECT_EQ(owner.list->Count(), 2);
  EXPECT_EQ(owner.list->IndexOf(b->Self()), -1);
  EXPECT_EQ(owner.list->Get(1), c->Self());
  EXPECT_EQ(Connections(b->Self(), kHideDispEventsIID), 0u);

  owner.list->Remove(a->Self());
  a.Reset();
  c.Reset();
  EXPECT_EQ(log, (Log{"b hide", "b reported", "a hide", "a destroyed", "c hide", "c reported",
                      "c destroyed"}));
  EXPECT_EQ(owner.list->Count(), 0);
}

TEST(ObjectReferences, HandlerMayRemoveOthersAndFreeTheList) {
  Log log;
  ComPtr<THideProbe> a = MakeObject<THideProbe>(log, "a");
  ComPtr<THideProbe> b = MakeObject<THideProbe>(log, "b");
  ListOwner owner{log, nullptr, {b->Self()}, true};
  owner.list.reset(new TLogged<TObjectReferences>(log, owner.Handler()));
  owner.list->Add(a->Self());
  owner.list->Add(b->Self());
  a->Hide();
  EXPECT_EQ(log, (Log{"a hide", "a reported", "TObjectReferences destroyed"}));
  EXPECT_EQ(Connections(a->Self(), kHideDispEventsIID), 0u);
  EXPECT_EQ(Connections(b->Self(), kHideDispEventsIID), 0u);
}

// ---------------------------------------------------------------------------------------------
// Data-change events

struct SourceListener {
  Log& log;
  IInterface* expectedSender;
  SinkPtr<TSourceEventsSingleSink> sink{};
  ComPtr<TSourceProbe>* releaseOnChange = nullptr;

  void OnBegins(IInterface* sender) { log.push_back(sender == expectedSender ? "301" : "301 ?"); }
  void OnChanged(IInterface* sender, uint32_t changes) {
    char text[32];
    std::snprintf(text, sizeof text, "302 %s0x%X", sender == expectedSender ? "" : "? ", changes);
    log.push_back(text);
    if (releaseOnChange) {
      sink->Disconnect();
      releaseOnChange->Reset();
      log.push_back("released");
    }
  }
  void Connect(TSourceProbe* source) {
    sink = MakeSink<TSourceEventsSingleSink>(
        TSourceEventsSingleSink::TBeginsHandler::Bind<&SourceListener::OnBegins>(this),
        TSourceEventsSingleSink::TChangedHandler::Bind<&SourceListener::OnChanged>(this));
    sink->Connect(source->Self());
  }
};

TEST(SourceEvents, UpdateBracketMergesChanges) {
  // Steps: "B" begin with fire, "b" begin without, "E" end, "C<hex>" a change.
  struct Case {
    const char* steps;
    Log events;
  };
  const Case cases[] = {
      {"b C1 C2 C4 E", {"302 0x7"}},
      {"B E", {"301", "302 0x0"}},
      {"B B C1 E E", {"301", "302 0x1"}},
      {"b B C10 E E B E", {"301", "302 0x10", "301", "302 0x0"}},
      {"C0", {}},
      {"C8", {"302 0x8"}},
      {"b E", {}},
      {"E C2", {"302 0x2"}},  // an end without a bracket does not open one
  };
  for (const Case& c : cases) {
    Log log;
    ComPtr<TSourceProbe> source = MakeObject<TSourceProbe>(log, "source");
    SourceListener listener{log, source->Self()};
    listener.Connect(source.Get());
    std::istringstream steps(c.steps);
    for (std::string step; steps >> step;) {
      TCustomSourceEvents& events = source->Events();
      if (step == "B" || step == "b") events.BeginUpdate(step == "B");
      if (step == "E") events.EndUpdate();
      if (step[0] == 'C') events.Changed(static_cast<uint32_t>(std::stoul(step.substr(1), nullptr, 16)));
    }
    EXPECT_EQ(log, c.events) << c.steps;
    EXPECT_EQ(source->Events().UpdateCount(), 0) << c.steps;
  }
}

TEST(SourceEvents, SingleSinkHoldsTheSourceWhileConnected) {
  Log log;
  ComPtr<TSourceProbe> source = MakeObject<TSourceProbe>(log, "source");
  SourceListener listener{log, source->Self()};
  listener.Connect(source.Get());
  EXPECT_EQ(source->RefCount(), 2);
  listener.sink->Disconnect();
  EXPECT_EQ(source->RefCount(), 1);
}

// A listener that lets go of the source while it hears its event: the source stays alive until
// its event is out.
TEST(SourceEvents, ListenerMayReleaseTheSourceDuringTheEvent) {
  Log log;
  ComPtr<TSourceProbe> source = MakeObject<TSourceProbe>(log, "source");
  SourceListener listener{log, source->Self()};
  listener.Connect(source.Get());
  listener.releaseOnChange = &source;
  TSourceProbe* raw = source.Get();
  raw->Events().Changed(1);
  EXPECT_EQ(log, (Log{"302 0x1", "released", "source hide", "source destroyed"}));
}

TEST(SourceEvents, AThrowingHandlerDoesNotReachTheSource) {
  Log log;
  ComPtr<TSourceProbe> source = MakeObject<TSourceProbe>(log, "source");
  struct Thrower {
    void OnChanged(IInterface*, uint32_t) { throw std::runtime_error("listener failure"); }
  } thrower;
  SinkPtr<TSourceEventsSingleSink> failing = MakeSink<TSourceEventsSingleSink>(
      TSourceEventsSingleSink::TBeginsHandler(),
      TSourceEventsSingleSink::TChangedHandler::Bind<&Thrower::OnChanged>(&thrower));
  failing->Connect(source->Self());
  SourceListener listener{log, source->Self()};
  listener.Connect(source.Get());
  EXPECT_NO_THROW(source->Events().Changed(4));
  EXPECT_EQ(log, (Log{"302 0x4"}));
}

}  // namespace
}  // namespace veltra::test

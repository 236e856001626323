#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/CommonObjects.h"
#include "framework/Method.h"

namespace veltra {
namespace {

struct IProbe : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{0F6E2B1C-1111-4A6B-9C3D-000000000001}");
  virtual int Value() = 0;
};

// Records the construction and destruction steps it goes through.
class TProbeObject : public TOwnInterfacedObject, public IProbe {
 public:
  TProbeObject(std::vector<std::string>& log, IInterface* owner = nullptr, bool failLate = false)
      : TOwnInterfacedObject(owner), log_(log), failLate_(failLate) {
    log_.push_back("construct");
  }
  ~TProbeObject() override { log_.push_back("destruct"); }
  int Value() override { return 42; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override {
    return Answer<IProbe>(this, iid, object) || TOwnInterfacedObject::GetInterface(iid, object);
  }
  void AfterConstruction() override {
    // A reference taken and dropped here must not destroy the half-made object.
    ComPtr<IProbe> self(this);
    self.Reset();
    log_.push_back("after construction");
    if (failLate_) throw std::runtime_error("Could not open instrument.");
  }
  void BeforeDestruction() override {
    log_.push_back("before destruction");
    TOwnInterfacedObject::BeforeDestruction();
  }

 private:
  std::vector<std::string>& log_;
  bool failLate_;
};

TEST(ObjectBase, FreeStandingObjectLivesUntilItsLastReference) {
  std::vector<std::string> log;
  {
    ComPtr<TProbeObject> object = MakeObject<TProbeObject>(log);
    EXPECT_EQ(object->RefCount(), 1);
    ComPtr<IProbe> probe = Query<IProbe>(object);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->Value(), 42);
    EXPECT_EQ(object->RefCount(), 2);
    object.Reset();
    EXPECT_EQ(log.size(), 2u);  // still alive through `probe`
  }
  EXPECT_EQ(log, (std::vector<std::string>{"construct", "after construction", "before destruction",
                                           "destruct"}));
}

struct IOther : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{0F6E2B1C-1111-4A6B-9C3D-000000000002}");
};

TEST(ObjectBase, UnsupportedQueryAnswersEmpty) {
  std::vector<std::string> log;
  ComPtr<TProbeObject> object = MakeObject<TProbeObject>(log);
  EXPECT_FALSE(Query<IOther>(object));
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(object->QueryInterface(IOther::IID, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);
}

TEST(ObjectBase, OwnedObjectCountsOnItsOwnerAndDiesWithIt) {
  std::vector<std::string> ownerLog, partLog;
  ComPtr<TProbeObject> owner = MakeObject<TProbeObject>(ownerLog);
  {
    Owned<TProbeObject> part = MakeOwned<TProbeObject>(partLog, owner.Get());
    ComPtr<IProbe> probe = Query<IProbe>(static_cast<IInterface*>(part.Get()));
    EXPECT_EQ(owner->RefCount(), 2);  // the reference to the part keeps the owner alive
    probe.Reset();
    EXPECT_EQ(owner->RefCount(), 1);
    EXPECT_EQ(partLog.size(), 2u);  // releasing the part's interface never destroys it
  }
  EXPECT_EQ(partLog.back(), "destruct");
  EXPECT_EQ(ownerLog.size(), 2u);
}

TEST(ObjectBase, FailedConstructionDestroysTheHalfMadeObject) {
  std::vector<std::string> log;
  EXPECT_THROW(MakeObject<TProbeObject>(log, nullptr, true), std::runtime_error);
  EXPECT_EQ(log.back(), "destruct");
}

TEST(ObjectBase, FreeingAReferencedObjectThrowsTheRefcountMessage) {
  std::vector<std::string> log;
  ComPtr<TProbeObject> object = MakeObject<TProbeObject>(log);
  try {
    TOwnInterfacedObject::Free(object.Get());
    FAIL() << "expected the refcount check to throw";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "TOwnInterfacedObject(TProbeObject) refcount not zero (1) before destroy!");
  }
  // The check aborted the destruction; the object is still usable, and its last Release must not
  // destroy it a second time (it is marked as being destroyed). Finish it by hand.
  TProbeObject* raw = object.Detach();
  raw->Release();
  TOwnInterfacedObject::Free(raw);
  EXPECT_EQ(log.back(), "destruct");
}

// Only the reference count is shared between threads: counting from two threads at once loses no
// step, and the object is destroyed once, by the last release.
TEST(ObjectBase, ReferenceCountIsSafeAcrossThreads) {
  std::vector<std::string> log;
  ComPtr<TProbeObject> object = MakeObject<TProbeObject>(log);
  auto churn = [probe = object.Get()] {
    for (int i = 0; i < 20000; ++i) {
      ComPtr<IProbe> extra(probe);
      extra.Reset();
    }
  };
  std::thread a(churn), b(churn);
  a.join();
  b.join();
  EXPECT_EQ(object->RefCount(), 1);
  object.Reset();
  EXPECT_EQ(log, (std::vector<std::string>{"construct", "after construction", "before destruction",
                                           "destruct"}));
}

struct Counter {
  int total = 0;
  void Add(int n) { total += n; }
  void AddTwice(int n) { total += 2 * n; }
};

TEST(MethodPointer, ComparesObjectAndCode) {
  Counter a, b;
  using Handler = Method<void(int)>;
  const Handler h1 = Handler::Bind<&Counter::Add>(&a);
  EXPECT_EQ(h1, Handler::Bind<&Counter::Add>(&a));
  EXPECT_FALSE(h1 == Handler::Bind<&Counter::Add>(&b));
  EXPECT_FALSE(h1 == Handler::Bind<&Counter::AddTwice>(&a));
  h1(5);
  Handler::Bind<&Counter::AddTwice>(&b)(5);
  EXPECT_EQ(a.total, 5);
  EXPECT_EQ(b.total, 10);
  EXPECT_FALSE(Handler());
}

TEST(GuidText, ParsesAndPrintsTheBracedForm) {
  constexpr Guid g = Guid::Parse("{4B29CE9D-7C1E-4C5F-B196-67C75B256C47}");
  EXPECT_EQ(g.data1, 0x4B29CE9Du);
  EXPECT_EQ(g.data4[7], 0x47);
  EXPECT_EQ(g.ToString(), "{4B29CE9D-7C1E-4C5F-B196-67C75B256C47}");
  EXPECT_THROW(Guid::Parse("{4B29CE9D-7C1E-4C5F-B196-67C75B256C4}"), std::invalid_argument);
  EXPECT_THROW(Guid::Parse("{4B29CE9D-7C1E-4C5F-B196-67C75B256CXY}"), std::invalid_argument);
}

}  // namespace
}  // namespace veltra

#pragma once
// Event sinks and weak references.
//
// A sink is a plain object (its AddRef and Release do not count) that connects to an object's
// connection point and receives the events through IDispatch::Invoke. On top of the two sink bases
// sit the weak references, through which lists keep objects without keeping them alive:
//
//   TObjectRef          one object; when it is hidden, the owner's handler runs and the reference
//                       lets go (it is connected exactly while it refers to an object);
//   TObjectReferences   a list of objects; a hidden object is reported and removed;
//   TSourceEventsSingleSink  the data-change events of one signal as method calls.
//
// Sinks are made with MakeSink and held in a SinkPtr. Freeing a sink from inside its own event
// handler (resetting its SinkPtr there) takes effect when the handler returns.
//
// Connecting fails with ESinkError "Unable to connect <class>.\r<reason>"; a call that is not a
// method call fails with "<class> only supports sinking of method calls!". Exceptions of the
// handlers never reach the object that fires the event.

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "framework/DispatchInterfaces.h"
#include "framework/Method.h"

namespace veltra {

class ESinkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the sinks have in common: the dispatch interface with its event handler, and the bracket
// around a handler that defers a Free requested inside it.
class TCustomDispatchSink : public IDispatch {
 public:
  TCustomDispatchSink(const TCustomDispatchSink&) = delete;
  TCustomDispatchSink& operator=(const TCustomDispatchSink&) = delete;

  // Destroys the sink, or, inside one of its event handlers, marks it to be destroyed when the
  // handler returns.
  static void Free(TCustomDispatchSink* sink);

  // IInterface: the sink's own interfaces and its event interface (answered with IDispatch).
  HResult QueryInterface(const Guid& iid, void** object) override;
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }

  // IDispatch: no type information; Invoke hands method calls to OnEvent.
  HResult GetTypeInfoCount(uint32_t& count) override;
  HResult GetTypeInfo(uint32_t index, uint32_t locale, void** typeInfo) override;
  HResult GetIDsOfNames(std::span<const std::string> names, std::span<int32_t> dispIds) override;
  HResult Invoke(int32_t dispId, uint16_t flags, std::span<const DispArg> args,
                 DispArg* result) override;

  const Guid& EventInterface() const { return eventIID_; }
  bool Counted() const { return counted_; }
  bool InCallback() const { return inCallback_; }

 protected:
  // `eventIID` is the dispatch event interface the sink answers for and connects to. A counted
  // sink holds a reference to each object it is connected to.
  TCustomDispatchSink(const Guid& eventIID, bool counted);
  ~TCustomDispatchSink() override = default;

  // The event `dispId` with its arguments; DISP_E_MEMBERNOTFOUND for events the sink does not know.
  // Runs inside the callback bracket.
  virtual HResult OnEvent(int32_t dispId, std::span<const DispArg> args) = 0;

  // Runs an owner's handler as the event's safe-call frame: an exception becomes E_FAIL.
  template <class F>
  static HResult Guarded(F&& handler) {
    try {
      handler();
      return S_OK;
    } catch (...) {
      return E_FAIL;
    }
  }

  // One connection: advises `object`'s point of the event interface. Throws ESinkError.
  struct Connection {
    IInterface* object = nullptr;  // the object's identity
    ComPtr<IInterface> hold;       // set for counted sinks
    IConnectionPoint* point = nullptr;  // not counted: valid while the object lives
    uint32_t cookie = 0;
  };
  Connection Advise(IInterface* object);
  static void Unadvise(Connection& connection);

 private:
  Guid eventIID_;
  bool counted_;
  bool inCallback_ = false;
  bool freeRequested_ = false;
};

struct SinkDeleter {
  void operator()(TCustomDispatchSink* sink) const { TCustomDispatchSink::Free(sink); }
};

template <class T>
using SinkPtr = std::unique_ptr<T, SinkDeleter>;

template <class T, class... A>
SinkPtr<T> MakeSink(A&&... args) {
  return SinkPtr<T>(new T(std::forward<A>(args)...));
}

// A sink connected to at most one object.
class TBaseOneSink : public TCustomDispatchSink {
 public:
  // Disconnects first; nil only disconnects. Throws ESinkError when the object cannot be connected
  // (the sink is then disconnected).
  void Connect(IInterface* object);
  void Disconnect();

  bool Connected() const { return connection_.point != nullptr; }
  IInterface* Object() const { return connection_.object; }

 protected:
  using TCustomDispatchSink::TCustomDispatchSink;
  ~TBaseOneSink() override;

  uint32_t Cookie() const { return connection_.cookie; }

 private:
  Connection connection_;
};

// A sink connected to any number of objects, each once.
class TBaseMultiSink : public TCustomDispatchSink {
 public:
  // Connects `object` unless it is connected already. Throws ESinkError.
  void Connect(IInterface* object);
  void Disconnect(IInterface* object);
  void DisconnectAll();

  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  IInterface* Get(int32_t index) const;  // null out of range
  int32_t IndexOf(IInterface* object) const;  // -1 when not connected

 protected:
  using TCustomDispatchSink::TCustomDispatchSink;
  ~TBaseMultiSink() override;

  struct Entry {
    Connection connection;
    bool hiding = false;  // its object's hide event is being handled
  };
  std::vector<Entry>& Entries() { return entries_; }
  int32_t IndexOfIdentity(IInterface* identity) const;
  void DisconnectAt(size_t index);

 private:
  std::vector<Entry> entries_;
};

// A weak reference to one object: dropped, after telling the owner, when the object is hidden.
class TObjectRef : public TBaseOneSink {
 public:
  // Called with the reference while it still refers to the hidden object.
  using THideHandler = Method<void(TObjectRef* reference)>;

  explicit TObjectRef(THideHandler onHide = {}, bool counted = false);

  // Refers to `object` (nil: to nothing). Throws ESinkError when the object has no hide event.
  void Set(IInterface* object);
  IInterface* Get() const { return Object(); }

 protected:
  HResult OnEvent(int32_t dispId, std::span<const DispArg> args) override;

 private:
  THideHandler onHide_;
};

// Weak references to a list of objects: a hidden object is reported to the owner and removed.
class TObjectReferences : public TBaseMultiSink {
 public:
  // Called with the hidden object while it is still in the list.
  using THideHandler = Method<void(IInterface* object)>;

  explicit TObjectReferences(THideHandler onHide = {}, bool counted = false);

  // Appends `object` unless it is in the list already. Throws ESinkError.
  void Add(IInterface* object) { Connect(object); }
  void Remove(IInterface* object) { Disconnect(object); }
  void Clear() { DisconnectAll(); }

 protected:
  HResult OnEvent(int32_t dispId, std::span<const DispArg> args) override;

 private:
  THideHandler onHide_;
};

// The data-change events of one signal as method calls. It hears no hide event, so it holds a
// count on the signal while connected; its holder disconnects it when it lets the signal go.
class TSourceEventsSingleSink : public TBaseOneSink {
 public:
  using TBeginsHandler = Method<void(IInterface* sender)>;
  using TChangedHandler = Method<void(IInterface* sender, uint32_t changes)>;

  explicit TSourceEventsSingleSink(TBeginsHandler onDataChangeBegins = {},
                                   TChangedHandler onChanged = {});

 protected:
  HResult OnEvent(int32_t dispId, std::span<const DispArg> args) override;

 private:
  TBeginsHandler onDataChangeBegins_;
  TChangedHandler onChanged_;
};

}  // namespace veltra

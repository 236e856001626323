// Multicast events: who is called when handlers come and go during a firing.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "discovery/MultiCastEvents.h"

namespace veltra::test {
namespace {

using TEvent = TMultiCastEvent<int>;

// A handler that logs its calls and then does what the test asks of it.
struct Listener {
  std::string label;
  std::vector<std::string>* log;
  std::function<void()> then;

  void Call(int value) {
    log->push_back(label + std::to_string(value));
    if (then) then();
  }
  TEvent::THandler Handler() { return TEvent::THandler::Bind<&Listener::Call>(this); }
};

TEST(MultiCastEvent, HandlersRunInOrderAndAnEqualOneIsRemovedOnce) {
  std::vector<std::string> log;
  Listener a{"a", &log, {}}, b{"b", &log, {}};
  TEvent event;
  event.Add(a.Handler());
  event.Add(b.Handler());
  event.Add(a.Handler());
  event.Fire(1);
  event.Remove(a.Handler());  // the first registration of a
  event.Fire(2);
  event.Remove(Listener{"c", &log, {}}.Handler());  // never registered: nothing happens
  event.Fire(3);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1", "a1", "b2", "a2", "b3", "a3"}));
}

TEST(MultiCastEvent, FiringUsesTheHandlersOfItsStartThatAreStillThere) {
  std::vector<std::string> log;
  TEvent event;
  Listener late{"late", &log, {}};
  Listener victim{"victim", &log, {}};
  Listener remover{"remover", &log, [&] {
                     event.Remove(victim.Handler());
                     event.Add(late.Handler());
                   }};
  event.Add(remover.Handler());
  event.Add(victim.Handler());
  event.Fire(1);
  EXPECT_EQ(log, (std::vector<std::string>{"remover1"}))
      << "the removed handler is skipped, the added one waits for the next firing";
  log.clear();
  event.Remove(remover.Handler());
  event.Fire(2);
  EXPECT_EQ(log, (std::vector<std::string>{"late2"}));
}

TEST(MultiCastEvent, AHandlerRemovedAndAddedAgainDuringTheFiringIsNotCalledInIt) {
  // The registration made during the firing is a new one, even with an equal method pointer.
  std::vector<std::string> log;
  TEvent event;
  Listener second{"second", &log, {}};
  Listener first{"first", &log, [&] {
                   event.Remove(second.Handler());
                   event.Add(second.Handler());
                 }};
  event.Add(first.Handler());
  event.Add(second.Handler());
  event.Fire(1);
  EXPECT_EQ(log, (std::vector<std::string>{"first1"}));
}

TEST(MultiCastEvent, AnExceptionStopsOnlyItsOwnHandler) {
  std::vector<std::string> log;
  Listener thrower{"thrower", &log, [] { throw std::runtime_error("handler failed"); }};
  Listener after{"after", &log, {}};
  TEvent event;
  event.Add(thrower.Handler());
  event.Add(after.Handler());
  EXPECT_NO_THROW(event.Fire(7));
  EXPECT_EQ(log, (std::vector<std::string>{"thrower7", "after7"}));
}

TEST(MultiCastEvent, AHandlerMayDestroyTheEvent) {
  std::vector<std::string> log;
  auto event = std::make_unique<TEvent>();
  Listener destroyer{"destroyer", &log, [&] { event.reset(); }};
  Listener after{"after", &log, {}};
  event->Add(destroyer.Handler());
  event->Add(after.Handler());
  TEvent* const firing = event.get();
  firing->Fire(1);
  EXPECT_EQ(event, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"destroyer1"}));
}

}  // namespace
}  // namespace veltra::test

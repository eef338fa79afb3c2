#include "service/event_list.h"

#include <functional>
#include <unordered_map>

#include "platform/error.h"

namespace varnel {
namespace {

// A string longer than this gives its storage back when its slot is emptied; shorter ones
// keep it, so a busy list does not allocate per event.
constexpr std::size_t kKeptCapacity = 1024;

void CheckIndex(int i) {
  if (i < 1 || i > kMaxEvents)
    throw VarnelError(err::kSubscript, "Subscript out of range (event " + std::to_string(i) + ")");
}

void Empty(std::string& s) {
  if (s.capacity() > kKeptCapacity)
    std::string().swap(s);
  else
    s.clear();
}

void Empty(InEvent& e) {
  for (std::string* f : {&e.DateAndTime, &e.Priority, &e.Name, &e.Message, &e.EventSource})
    Empty(*f);
}

std::size_t DuplicateKey(const InEvent& e) {
  std::hash<std::string> h;
  return h(e.Message) ^ (h(e.Name) * 31) ^ (h(e.Priority) * 961);
}

bool SameContent(const InEvent& a, const InEvent& b) {
  return a.Message == b.Message && a.Name == b.Name && a.Priority == b.Priority;
}

}  // namespace

InEvent& EventList::operator[](int i) {
  CheckIndex(i);
  return items_[static_cast<std::size_t>(i)];
}

const InEvent& EventList::operator[](int i) const {
  CheckIndex(i);
  return items_[static_cast<std::size_t>(i)];
}

void EventList::SetCount(int n) {
  if (n < 0 || n > kMaxEvents) CheckIndex(n);
  count_ = static_cast<std::int16_t>(n);
}

void EventList::Clear() {
  for (auto& e : items_) Empty(e);
  count_ = 0;
}

bool EventList::Append(const std::string& dateAndTime, const std::string& priority,
                       const std::string& name, const std::string& message,
                       const std::string& source) {
  if (count_ >= kMaxEvents) return false;
  ++count_;
  InEvent& e = items_[static_cast<std::size_t>(count_)];
  e.DateAndTime = dateAndTime;
  e.Priority = priority;
  e.Name = name;
  e.Message = message;
  e.EventSource = source;
  return true;
}

void EventList::Remove(int i) {
  (*this)[i] = InEvent{};
  if (count_ > 0) --count_;
}

void EventList::Compact() {
  std::size_t target = 0;
  for (std::size_t i = 1; i <= kMaxEvents; ++i) {
    if (items_[i].Free()) continue;
    ++target;
    if (target != i) {
      std::swap(items_[target], items_[i]);
      Empty(items_[i]);
    }
  }
}

void EventList::RemoveDuplicates(const std::string& source) {
  // An entry goes when an earlier entry of this source has its content: the earlier entries
  // of the source are found by a hash of their content instead of comparing every pair.
  std::unordered_multimap<std::size_t, std::size_t> earlier;
  earlier.reserve(kMaxEvents);
  for (std::size_t j = 1; j <= kMaxEvents; ++j) {
    InEvent& d = items_[j];
    if (d.Free()) continue;
    const std::size_t key = DuplicateKey(d);
    bool duplicate = false;
    for (auto [it, end] = earlier.equal_range(key); it != end && !duplicate; ++it)
      duplicate = SameContent(items_[it->second], d);
    if (duplicate) {
      Empty(d);
      if (count_ > 0) --count_;
    } else if (d.EventSource == source) {
      earlier.emplace(key, j);
    }
  }
  Compact();
}

}  // namespace varnel

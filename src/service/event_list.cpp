#include "service/event_list.h"

#include "platform/error.h"

namespace varnel {
namespace {
void CheckIndex(int i) {
  if (i < 1 || i > kMaxEvents)
    throw VarnelError(err::kSubscript, "Subscript out of range (event " + std::to_string(i) + ")");
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
  for (auto& e : items_) e = InEvent{};
  count_ = 0;
}

bool EventList::Append(const std::string& dateAndTime, const std::string& priority,
                       const std::string& name, const std::string& message,
                       const std::string& source) {
  if (count_ >= kMaxEvents) return false;
  ++count_;
  items_[static_cast<std::size_t>(count_)] = InEvent{dateAndTime, priority, name, message, source};
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
      items_[target] = std::move(items_[i]);
      items_[i] = InEvent{};
    }
  }
}

void EventList::RemoveDuplicates(const std::string& source) {
  for (std::size_t i = 1; i <= kMaxEvents; ++i) {
    const InEvent& e = items_[i];
    if (e.Free() || e.EventSource != source) continue;
    for (std::size_t j = i + 1; j <= kMaxEvents; ++j) {
      InEvent& d = items_[j];
      if (!d.Free() && d.Message == e.Message && d.Name == e.Name && d.Priority == e.Priority) {
        d = InEvent{};
        if (count_ > 0) --count_;
      }
    }
  }
  Compact();
}

}  // namespace varnel

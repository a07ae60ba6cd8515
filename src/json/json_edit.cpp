#include "json/json_edit.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace guild::json {
namespace {

unsigned char FoldAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

int CompareNames(std::string_view a, std::string_view b, bool ignoreCase) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (ignoreCase) {
      x = FoldAscii(x);
      y = FoldAscii(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void SortRange(Node** items, std::int64_t lo, std::int64_t hi, const NodeCompare& compare) {
  while (hi > lo) {
    if (hi - lo < 8) {
      for (std::int64_t i = lo + 1; i <= hi; ++i) {
        for (std::int64_t j = i; j > lo && compare(items[j], items[j - 1]) < 0; --j) {
          std::swap(items[j], items[j - 1]);
        }
      }
      return;
    }
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (compare(items[mid], items[lo]) < 0) std::swap(items[mid], items[lo]);
    if (compare(items[hi], items[lo]) < 0) std::swap(items[hi], items[lo]);
    if (compare(items[hi], items[mid]) < 0) std::swap(items[hi], items[mid]);
    Node* pivot = items[mid];
    std::int64_t i = lo;
    std::int64_t j = hi;
    while (i <= j) {
      while (i <= hi && compare(items[i], pivot) < 0) ++i;
      while (j >= lo && compare(pivot, items[j]) < 0) --j;
      if (i <= j) std::swap(items[i++], items[j--]);
    }
    // Only an inconsistent comparator can leave a side as large as the range.
    j = std::min(j, hi - 1);
    i = std::max(i, lo + 1);
    if (j - lo < hi - i) {
      SortRange(items, lo, j, compare);
      lo = i;
    } else {
      SortRange(items, i, hi, compare);
      hi = j;
    }
  }
}

// Takes an object's or array's children out of it; their references pass to the caller.
std::vector<Node*> TakeChildren(Node* container) {
  ContainerData& box = container->box;
  std::vector<Node*> children(box.items, box.items + box.count);
  box.count = 0;
  DropIndex(container);
  return children;
}

}  // namespace

bool MergeInto(Node* target, Node* source, bool addMissing) {
  bool changed = false;
  std::vector<std::pair<Node*, Node*>> work{{target, source}};
  while (!work.empty()) {
    auto [into, from] = work.back();
    work.pop_back();
    if (into->kind == Kind::kObject && from->kind == Kind::kObject) {
      for (Node* member : TakeChildren(from)) {
        const std::int64_t at = FindMember(into, member->Name());
        if (at >= 0) {
          work.emplace_back(into->box.items[at], member);
        } else if (addMissing && StoreMember(into, member->Name(), member)) {
          changed = true;
        } else {
          Unlink(member);
          Release(member);
        }
      }
      Release(from);
      continue;
    }
    Node* container = into->parent;
    if (container != nullptr && container->kind == Kind::kObject) {
      const std::int64_t at = FindMember(container, into->Name());
      if (at >= 0 && container->box.items[at] == into) {
        Unlink(from);
        if (ReplaceChild(container, static_cast<std::uint32_t>(at), from)) {
          changed = true;
          continue;
        }
      }
    }
    Unlink(from);
    Release(from);
  }
  return changed;
}

void QuickSort(Node** items, std::uint32_t count, const NodeCompare& compare) {
  if (count > 1) SortRange(items, 0, std::int64_t{count} - 1, compare);
}

bool SortMembersByName(Node* object, bool descending, bool ignoreCase) {
  if (object == nullptr || object->kind != Kind::kObject) return false;
  QuickSort(object->box.items, object->box.count, [&](Node* a, Node* b) {
    const int order = CompareNames(a->Name(), b->Name(), ignoreCase);
    return descending ? -order : order;
  });
  DropIndex(object);
  return true;
}

}  // namespace guild::json

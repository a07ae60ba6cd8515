#pragma once
// Merging a parsed tree into a document, and reordering members or elements.

#include <cstdint>
#include <functional>

#include "json/json_node.h"

namespace guild::json {

// Merges `source`, a tree that nobody else holds (its reference passes here), into `target`.
// Two objects merge member by member: a shared name merges its values by the same rules, a
// missing name is added at the end when `addMissing`, else skipped. Otherwise the source
// takes the target's place when the target is a member of an object. Values keep their
// literals as written. True when anything was merged, added or replaced. Iterative.
bool MergeInto(Node* target, Node* source, bool addMissing);

using NodeCompare = std::function<int(Node* first, Node* second)>;

// Quicksort with the median of first, middle and last as pivot; equal entries keep no
// particular order. Safe with a comparator that is not a consistent order: it never reads
// outside the range and always ends, the order then being unspecified.
void QuickSort(Node** items, std::uint32_t count, const NodeCompare& compare);

// Reorders an object's members by name in code point order (ASCII letters folded when
// `ignoreCase`); false for any other kind.
bool SortMembersByName(Node* object, bool descending, bool ignoreCase);

}  // namespace guild::json

// Doubly linked lists of pointers, allocated from a memory pool. A list is
// named by its head node; a null head is the empty list.
#pragma once

#include "support/memory.h"

struct ListNode {
  void* data;      // the element
  ListNode* next;  // following node, null at the end
  ListNode* prev;  // preceding node, null at the head
  ListNode* tail;  // last node of the list; kept up to date on the head only
};

// Appends `data`; returns the head (a new one when `list` is null), or null on memory failure.
ListNode* ListAppend(void* data, ListNode* list, MemPool* pool);
// Walks: first/last node of a list, next/prior of a node; null past the ends.
ListNode* ListFirst(ListNode* list);
ListNode* ListLast(ListNode* list);
ListNode* ListNext(ListNode* node);
ListNode* ListPrior(ListNode* node);
// The element held by a node (null for a null node).
void* ListData(ListNode* node);
// Number of nodes.
int ListCount(ListNode* list);
// Unlinks and frees `node`; returns the new head (null when the list became empty).
ListNode* ListDelete(ListNode* list, ListNode* node, MemPool* pool);
// Replaces the element held by `node`.
void ListRewrite(ListNode* node, void* data);
// Appends all of `second` to `first` (both from the same pool); returns the head.
ListNode* ListMerge(ListNode* first, ListNode* second);
// Calls `callback(data, context)` for each element in order; stops at the first non-zero
// result and returns it, 0 when all were visited.
int ListEnumerate(ListNode* list, int (*callback)(void* data, void* context), void* context);

// Pointer lists with O(1) append: the head node keeps the tail.
#include "support/list.h"

ListNode* ListAppend(void* data, ListNode* list, MemPool* pool) {
  auto* node = static_cast<ListNode*>(quill_mem_alloc(pool, sizeof(ListNode)));
  if (!node) return nullptr;
  node->data = data;
  if (!list) {
    node->tail = node;
    return node;
  }
  ListNode* last = list->tail ? list->tail : ListLast(list);
  last->next = node;
  node->prev = last;
  list->tail = node;
  return list;
}

ListNode* ListFirst(ListNode* list) {
  return list;
}

ListNode* ListLast(ListNode* list) {
  if (!list) return nullptr;
  if (list->tail) return list->tail;
  while (list->next) list = list->next;
  return list;
}

ListNode* ListNext(ListNode* node) {
  return node ? node->next : nullptr;
}
ListNode* ListPrior(ListNode* node) {
  return node ? node->prev : nullptr;
}
void* ListData(ListNode* node) {
  return node ? node->data : nullptr;
}

int ListCount(ListNode* list) {
  int n = 0;
  for (; list; list = list->next) ++n;
  return n;
}

ListNode* ListDelete(ListNode* list, ListNode* node, MemPool* pool) {
  if (!list || !node) return list;
  ListNode* head = list;
  if (node == head) {
    head = node->next;
    if (head) {
      head->prev = nullptr;
      head->tail = (list->tail == node) ? nullptr : list->tail;
      if (!head->tail) head->tail = ListLast(head);
    }
  } else {
    node->prev->next = node->next;
    if (node->next)
      node->next->prev = node->prev;
    else
      head->tail = node->prev;
  }
  quill_mem_free(pool, node);
  return head;
}

void ListRewrite(ListNode* node, void* data) {
  if (node) node->data = data;
}

ListNode* ListMerge(ListNode* first, ListNode* second) {
  if (!first) return second;
  if (!second) return first;
  ListNode* last = ListLast(first);
  last->next = second;
  second->prev = last;
  first->tail = second->tail ? second->tail : ListLast(second);
  second->tail = nullptr;
  return first;
}

int ListEnumerate(ListNode* list, int (*callback)(void*, void*), void* context) {
  for (ListNode* n = list; n; n = n->next) {
    int rc = callback(n->data, context);
    if (rc) return rc;
  }
  return 0;
}

// The checked downcast of parse nodes and plan records: a struct that serves several kinds
// takes each of them, and in a debug build a record viewed as a struct of another kind stops
// at the assertion instead of being read through the wrong layout.
#include <gtest/gtest.h>

#include "driver/sql/plan.h"

namespace {

TEST(NodeCast, StructsServingSeveralKindsTakeEachOfThem) {
  Node view{NODE_DROP_VIEW};
  Node table{NODE_DROP_TABLE};
  EXPECT_TRUE(node_kind_fits<DropTableNode>(view.kind));
  EXPECT_TRUE(node_kind_fits<DropTableNode>(table.kind));
  EXPECT_FALSE(node_kind_fits<DropTableNode>(NODE_DROP_INDEX));
  EXPECT_TRUE(node_kind_fits<TransactionPlan>(PLAN_ROLLBACK));
  EXPECT_FALSE(node_kind_fits<TransactionPlan>(PLAN_QUERY));
  const Node* none = nullptr;
  EXPECT_EQ(nullptr, node_cast<NameNode>(none));
}

#ifndef NDEBUG
TEST(NodeCastDeathTest, WrongKindStopsADebugBuild) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Node name{NODE_NAME};
  EXPECT_DEATH(node_cast<ColumnRefNode>(&name), "node_kind_fits");
  const Node literal{NODE_LITERAL};
  EXPECT_DEATH(node_cast<ParameterNode>(&literal), "node_kind_fits");
  PlanRecord entry{PLAN_TABLE};
  EXPECT_DEATH(node_cast<QueryPlan>(&entry), "node_kind_fits");
}
#endif

}  // namespace
